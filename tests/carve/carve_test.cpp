// The deep scan over an image of real files (pictures and documents made by the demo sample tool
// and by ImageMagick) planted at aligned and unaligned offsets between random bytes: every file is
// found at its offset with its size and recovered byte-exact, and nothing else is reported.

#include "disk/volume_enumeration.h"
#include "libs/carve/carve_config.h"
#include "scan/raw_recovery.h"
#include "scan/raw_scan_file.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace tarn;

namespace {

struct planted_s {
    QString name;
    std::uint64_t offset;
    QByteArray bytes;
};

QByteArray read_all(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class Carve : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString samples = dir_.filePath("samples");
        ASSERT_EQ(test::run_tool(qEnvironmentVariable("TARN_DEMO_FILES"), {samples}), 0);
        ASSERT_EQ(test::run_tool("convert", {"-size", "64x48", "gradient:red-blue", samples + "/pic.gif"}), 0);
        ASSERT_EQ(test::run_tool("convert", {"-size", "33x21", "plasma:fractal", "-seed", "7", samples + "/pic.bmp"}), 0);
        // Pictures and documents at sector starts and at odd offsets, random bytes between them.
        const QStringList names = {"beach.jpg", "chart.png", "report_de.pdf", "pic.gif", "pic.bmp",
                                   "sunset.jpg", "chart_small.png", "report_zh.pdf", "holiday.jpg"};
        std::mt19937 random(7);
        QByteArray image;
        for (int i = 0; i < names.size(); ++i) {
            QByteArray filler(20000 + static_cast<int>(random() % 30000), '\0');
            for (char& c : filler)
                c = static_cast<char>(random());
            image += filler;
            if (i % 2 == 0)
                image += QByteArray(static_cast<int>((512 - image.size() % 512) % 512), '\0');
            else if (image.size() % 512 == 0)
                image += "x";
            planted_.push_back({names[i], static_cast<std::uint64_t>(image.size()), read_all(samples + "/" + names[i])});
            ASSERT_FALSE(planted_.back().bytes.isEmpty()) << names[i].toStdString();
            image += planted_.back().bytes;
        }
        image += QByteArray(4096, '\0');
        image_ = dir_.filePath("carve.img");
        QFile out(image_);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(image) == image.size());
        out.close();
        qputenv("TARN_DISKS", image_.toUtf8());
        enumerate_volumes();
        ASSERT_EQ(volume_list().size(), 2u); // the image itself: no table, no file system
        configure_carving(dir_.filePath("none.conf"));
    }
    void TearDown() override { qunsetenv("TARN_DISKS"); }

    void scan(raw_recovery_c& engine)
    {
        engine.reset();
        engine.set_volume(volume_list()[1]);
        engine.start();
        ASSERT_TRUE(engine.wait(60000));
        EXPECT_EQ(engine.get_failure(), scan_failure_e::none);
    }

    QTemporaryDir dir_;
    QString image_;
    std::vector<planted_s> planted_;
};

TEST_F(Carve, EveryPlantedFileIsFoundWholeAndNothingElse)
{
    raw_recovery_c engine;
    scan(engine);
    EXPECT_DOUBLE_EQ(engine.get_progress(), 1.0);
    EXPECT_EQ(engine.get_read_count(), 0);
    EXPECT_EQ(engine.get_found_count(), 0);
    ASSERT_EQ(engine.hits().size(), planted_.size());
    for (std::size_t i = 0; i < planted_.size(); ++i) {
        const raw_hit_s& hit = engine.hits()[i];
        const planted_s& file = planted_[i];
        EXPECT_EQ(hit.sequence, i);
        EXPECT_EQ(hit.offset, file.offset) << file.name.toStdString();
        EXPECT_EQ(hit.size, static_cast<std::uint64_t>(file.bytes.size())) << file.name.toStdString();
        EXPECT_TRUE(file.name.endsWith(QString(".") + hit.extension)) << file.name.toStdString();
        const QString out = dir_.filePath(QString("out%1").arg(i));
        ASSERT_EQ(engine.recover_file(i, out), 0);
        EXPECT_TRUE(read_all(out) == file.bytes) << file.name.toStdString() << " at " << file.offset;
    }
    // One category per type, in the order of each type's first hit.
    QStringList types;
    for (const raw_category_s& c : engine.categories())
        types << c.extension;
    EXPECT_EQ(types, (QStringList{"jpg", "png", "pdf", "gif", "bmp"}));
    EXPECT_EQ(engine.categories()[0].sequences, (std::vector<std::uint64_t>{0, 5, 8}));
    EXPECT_EQ(engine.recover_file(planted_.size(), dir_.filePath("none")), recovery_not_found);
}

TEST_F(Carve, TheTypeListTurnsTypesOffAndSkipsBadLines)
{
    QFile conf(dir_.filePath("types.conf"));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("# extension on|off largest-bytes\npng off\njpg on 100000\nnonsense here\nzip on\n");
    conf.close();
    configure_carving(conf.fileName());
    raw_recovery_c engine;
    scan(engine);
    QStringList found;
    for (const raw_hit_s& hit : engine.hits())
        found << hit.extension;
    // No PNG at all; JPEGs larger than 100,000 bytes are no hits; the bad lines changed nothing.
    EXPECT_FALSE(found.contains("png"));
    EXPECT_EQ(found.count("jpg"), 1); // sunset.jpg only
    EXPECT_EQ(found.count("pdf"), 2);
    configure_carving(dir_.filePath("none.conf"));
}

// The command line: carve saves its results, resume prints them exactly as carve did and recovers
// the same bytes from the volume the file names.
TEST_F(Carve, ResumeRepeatsWhatCarveSaved)
{
    const QString cli = qEnvironmentVariable("TARN_CLI");
    const QString saved = dir_.filePath("carve.sav");
    QString carved, resumed;
    ASSERT_EQ(test::run_tool(cli, {"carve", "1", "--save", saved, "--recover", dir_.filePath("a")}, &carved), 0) << carved.toStdString();
    ASSERT_EQ(test::run_tool(cli, {"resume", saved, "--recover", dir_.filePath("b")}, &resumed), 0) << resumed.toStdString();
    EXPECT_EQ(carved.split('\n', Qt::SkipEmptyParts).size(), static_cast<int>(planted_.size()));
    EXPECT_EQ(resumed, carved);
    for (std::size_t i = 0; i < planted_.size(); ++i) {
        const QString name = QString::asprintf("%08zu.", i) + planted_[i].name.section('.', -1);
        EXPECT_TRUE(read_all(dir_.filePath("b/" + name)) == planted_[i].bytes) << name.toStdString();
    }
}

// Scan files: what is written reads back; lengths that are not 256 + 32 N (N at least 1) and
// sequence numbers that are not 0, 1, 2, ... are refused, never half read.
TEST(ScanFile, WrittenHitsReadBackAndBadFilesAreRefused)
{
    QTemporaryDir dir;
    std::vector<raw_hit_s> hits(3);
    for (std::size_t i = 0; i < hits.size(); ++i) {
        hits[i].sequence = i;
        hits[i].offset = 1000 + i * (1ull << 33); // beyond 32 bits
        hits[i].size = 3ull << 30;
        std::strcpy(hits[i].extension, i == 1 ? "png" : "jpg");
    }
    const QString path = dir.filePath("scan.sav");
    const QString volume = "\\\\?\\Volume{0be0d093-4796-9dcb-baa4-90df3018f6a1}";
    ASSERT_EQ(save_scan_file(path, volume, hits), 0);
    EXPECT_EQ(QFileInfo(path).size(), 256 + 3 * 32);
    EXPECT_EQ(save_scan_file(dir.filePath("none.sav"), volume, {}), -1);
    std::vector<raw_hit_s> read;
    ASSERT_EQ(load_scan_file(path, read), volume);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[2].offset, hits[2].offset);
    EXPECT_EQ(read[2].size, hits[2].size);
    EXPECT_STREQ(read[1].extension, "png");

    const QByteArray whole = read_all(path);
    const auto write = [&dir](const QByteArray& bytes) {
        QFile f(dir.filePath("bad.sav"));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    };
    QByteArray shuffled = whole;
    shuffled[256 + 32] = 7; // the second record claims sequence 7
    for (const QByteArray& bad : {whole.left(256), whole.left(256 + 31), whole.left(256 + 32 + 5), shuffled})
        EXPECT_TRUE(load_scan_file(write(bad), read).isEmpty()) << bad.size();
    EXPECT_EQ(load_scan_file(write(whole.left(256 + 32)), read), volume);
    EXPECT_EQ(read.size(), 1u);
}

} // namespace
