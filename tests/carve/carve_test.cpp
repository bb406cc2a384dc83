// The deep scan over an image of real files (pictures and documents made by the demo sample tool
// and by ImageMagick; archives, a database, sound, video and programs made by the tools that write
// them) planted at aligned and unaligned offsets between random bytes: every file is found at its
// offset with its size and type and recovered byte-exact, and nothing else is reported.

#include "disk/volume_enumeration.h"
#include "libs/carve/carve_config.h"
#include "libs/carve/carve_reader.h"
#include "libs/carve/carver.h"
#include "libs/carve/formats/fragments.h"
#include "libs/carve/formats/jpeg_decode.h"
#include "libs/carve/header_index.h"
#include "platform/memory_source.h"
#include "scan/raw_recovery.h"
#include "scan/raw_scan_file.h"
#include "scan/write_behind.h"
#include "tests/support/failing_source.h"
#include "tests/support/test_support.h"
#include "tests/support/unchanged_images.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <zlib.h>

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

// The files one after the other with random bytes before each, every second one at a sector
// start and the others at odd offsets; sets each file's offset.
QByteArray plant(std::vector<planted_s>& files)
{
    std::mt19937 random(7);
    QByteArray image;
    for (std::size_t i = 0; i < files.size(); ++i) {
        QByteArray filler(20000 + static_cast<int>(random() % 30000), '\0');
        for (char& c : filler)
            c = static_cast<char>(random());
        image += filler;
        if (i % 2 == 0)
            image += QByteArray(static_cast<int>((512 - image.size() % 512) % 512), '\0');
        else if (image.size() % 512 == 0)
            image += "x";
        files[i].offset = static_cast<std::uint64_t>(image.size());
        image += files[i].bytes;
    }
    return image + QByteArray(4096, '\0');
}

struct hit_s {
    std::string extension;
    std::uint64_t offset;
    std::uint64_t size;
};

// The carving library's hits in image, scanned from memory with the types in force.
std::vector<hit_s> carve_memory(const QByteArray& image)
{
    const auto* first = reinterpret_cast<const std::byte*>(image.constData());
    memory_source_c source(std::vector<std::byte>(first, first + image.size()));
    double progress = 0;
    std::int32_t pause = 0, stop = 0;
    std::vector<hit_s> hits;
    carve_source(source, carve_types(), {&progress, &pause, &stop},
                 [&](const char* extension, std::uint64_t offset, const carve_found_s& found) {
                     hits.push_back({extension, offset, found.total()});
                 });
    EXPECT_EQ(progress, 1.0);
    return hits;
}

// Pictures and documents, then a file of every other type, some types more than once in different
// shapes (a ZIP whose sizes follow the data, a Zip64 one, an MP3 without tags, ELF programs and
// objects of both widths and byte orders, a QuickTime movie without a file type box, an MP4 with a
// 64-bit box size, RAR archives of both versions, a big-endian NEF, progressive and restart-marked
// JPEGs, appended BZIP2 and XZ streams, POSIX and unpadded TAR, FLAC of other shapes, a live WebM).
const QStringList sample_names = {
    "beach.jpg", "chart.png", "report_de.pdf", "pic.gif", "pic.bmp", "sunset.jpg", "chart_small.png",
    "report_zh.pdf", "holiday.jpg", "archive.zip", "report.docx", "numbers.gz", "shop.sqlite", "tone.mp3",
    "chime.wav", "clip.avi", "clip.mp4", "clip.mov", "true.elf", "budget.xlsx", "letter.odt", "tools.jar",
    "game.apk", "streamed.zip", "large64.zip", "bare.mp3", "exit32.elf", "noise32be.elf", "noise64be.elf",
    "legacy.mov", "large.mp4", "photo.tif", "camera.cr2", "camera.nef", "camera.arw", "camera.dng",
    "picture.heic", "picture.avif", "picture.webp", "icon.ico", "layers.psd", "notes.rar", "notes5.rar",
    "bundle.7z", "numbers.bz2", "numbers.xz", "bundle.tar", "compound.doc", "compound.xls", "compound.ppt",
    "compound.msg", "minutes.rtf", "tone.flac", "tone.ogg", "tone.opus", "clip.mkv", "clip.webm", "clip.flv",
    "clip.ts", "program.exe", "library.dll", "RtfWriter.class", "catalog.xml", "page.html", "people.json",
    "notes.txt", "progressive.jpg", "restart.jpg", "streams.bz2", "streams.xz", "posix.tar", "unpadded.tar",
    "short.flac", "stereo.flac", "live.webm"};

// Plain text has no header: it is found only where it starts a sector.
bool found_anywhere(const planted_s& file)
{
    return !file.name.endsWith(".txt") || file.offset % 512 == 0;
}

class Carve : public ::testing::Test {
protected:
    // The samples are made once for all the tests: making them takes the longest.
    static void SetUpTestSuite()
    {
        samples_dir_ = new QTemporaryDir;
        const QString samples = samples_dir_->path();
        QString made;
        if (test::run_tool(qEnvironmentVariable("TARN_DEMO_FILES"), {samples}) != 0
            || test::run_tool("convert", {"-size", "64x48", "gradient:red-blue", samples + "/pic.gif"}) != 0
            || test::run_tool("convert", {"-seed", "7", "-size", "33x21", "plasma:fractal", samples + "/pic.bmp"}) != 0
            || test::run_tool("bash", {qEnvironmentVariable("TARN_CARVE_SAMPLES"), samples}, &made) != 0)
            std::fprintf(stderr, "making the samples failed: %s\n", qUtf8Printable(made));
    }
    static void TearDownTestSuite()
    {
        delete samples_dir_;
        samples_dir_ = nullptr;
    }

    void SetUp() override
    {
        samples_ = samples_dir_->path();
        // Every sample twice: once at a sector start, once at an odd offset.
        for (const QString& name : sample_names) {
            for (int copy = 0; copy < 2; ++copy)
                planted_.push_back({name, 0, read_all(samples_ + "/" + name)});
            ASSERT_FALSE(planted_.back().bytes.isEmpty()) << name.toStdString();
        }
        const QByteArray image = plant(planted_);
        for (const planted_s& file : planted_)
            if (found_anywhere(file))
                expected_.push_back(file);
        image_ = dir_.filePath("carve.img");
        QFile out(image_);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(image) == image.size());
        out.close();
        qputenv("TARN_DISKS", image_.toUtf8());
        images_.watch(image_);
        enumerate_volumes();
        ASSERT_EQ(volume_list().size(), 2u); // the image itself: no table, no file system
        configure_carving(dir_.filePath("none.conf"));
    }
    void TearDown() override
    {
        qunsetenv("TARN_DISKS");
        EXPECT_EQ(images_.report(), QString());
    }

    void scan(raw_recovery_c& engine)
    {
        engine.reset();
        engine.set_volume(volume_list()[1]);
        engine.start();
        ASSERT_TRUE(engine.wait(120000));
        EXPECT_EQ(engine.get_failure(), scan_failure_e::none);
    }

    static QTemporaryDir* samples_dir_;
    QTemporaryDir dir_;
    QString samples_;
    QString image_;
    test::unchanged_images_c images_;
    std::vector<planted_s> planted_;
    std::vector<planted_s> expected_; // the planted files the scan must find, in volume order
};

QTemporaryDir* Carve::samples_dir_ = nullptr;

TEST_F(Carve, EveryPlantedFileIsFoundWholeAndNothingElse)
{
    raw_recovery_c engine;
    scan(engine);
    EXPECT_DOUBLE_EQ(engine.get_progress(), 1.0);
    EXPECT_EQ(engine.get_read_count(), 0);
    EXPECT_EQ(engine.get_found_count(), 0);
    std::string found;
    for (const raw_hit_s& hit : engine.hits())
        found += std::to_string(hit.offset) + " " + std::to_string(hit.size) + " " + hit.extension + "\n";
    ASSERT_EQ(engine.hits().size(), expected_.size()) << found;
    for (std::size_t i = 0; i < expected_.size(); ++i) {
        const raw_hit_s& hit = engine.hits()[i];
        const planted_s& file = expected_[i];
        EXPECT_EQ(hit.sequence, i);
        EXPECT_EQ(hit.offset, file.offset) << file.name.toStdString();
        EXPECT_EQ(hit.size, static_cast<std::uint64_t>(file.bytes.size())) << file.name.toStdString();
        EXPECT_TRUE(file.name.endsWith(QString(".") + hit.extension)) << file.name.toStdString() << " as " << hit.extension;
        const QString out = dir_.filePath(QString("out%1").arg(i));
        ASSERT_EQ(engine.recover_file(i, out), 0);
        EXPECT_TRUE(read_all(out) == file.bytes) << file.name.toStdString() << " at " << file.offset;
    }
    // One category per type, in the order of each type's first hit, holding that type's hits.
    std::vector<raw_category_s> categories;
    for (std::size_t i = 0; i < expected_.size(); ++i) {
        const QString type = expected_[i].name.section('.', -1);
        auto c = std::find_if(categories.begin(), categories.end(), [&](const raw_category_s& k) { return k.extension == type; });
        if (c == categories.end())
            c = categories.insert(categories.end(), raw_category_s{type, {}});
        c->sequences.push_back(i);
    }
    ASSERT_EQ(engine.categories().size(), categories.size());
    for (std::size_t i = 0; i < categories.size(); ++i) {
        EXPECT_EQ(engine.categories()[i].extension, categories[i].extension);
        EXPECT_EQ(engine.categories()[i].sequences, categories[i].sequences) << categories[i].extension.toStdString();
    }
    EXPECT_EQ(engine.recover_file(expected_.size(), dir_.filePath("none")), recovery_not_found);
    // A target that takes no bytes fails every file: the large ones written behind their reading
    // as the small ones written at once.
    for (std::size_t i = 0; QFileInfo::exists("/dev/full") && i < expected_.size(); ++i)
        EXPECT_EQ(engine.recover_file(i, "/dev/full"), recovery_incomplete) << expected_[i].name.toStdString();
}

TEST_F(Carve, TheTypeListTurnsTypesOffAndSkipsBadLines)
{
    QFile conf(dir_.filePath("types.conf"));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("# extension on|off largest-bytes\npng off\njpg on 100000\nnonsense here\narj on\n");
    conf.close();
    configure_carving(conf.fileName());
    raw_recovery_c engine;
    scan(engine);
    QStringList found;
    for (const raw_hit_s& hit : engine.hits())
        found << hit.extension;
    // No PNG at all; JPEGs larger than 100,000 bytes are no hits; the bad lines changed nothing.
    const auto planted = [&](const QString& type, qsizetype largest) {
        return std::count_if(planted_.begin(), planted_.end(), [&](const planted_s& f) {
            return f.name.endsWith("." + type) && f.bytes.size() <= largest;
        });
    };
    EXPECT_FALSE(found.contains("png"));
    EXPECT_EQ(found.count("jpg"), planted("jpg", 100000));
    EXPECT_GT(planted("jpg", 1 << 30), planted("jpg", 100000));
    EXPECT_EQ(found.count("pdf"), planted("pdf", 1 << 30));
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
    EXPECT_EQ(carved.split('\n', Qt::SkipEmptyParts).size(), static_cast<int>(expected_.size()));
    EXPECT_EQ(resumed, carved);
    for (std::size_t i = 0; i < expected_.size(); ++i) {
        const QString name = QString::asprintf("%08zu.", i) + expected_[i].name.section('.', -1);
        EXPECT_TRUE(read_all(dir_.filePath("b/" + name)) == expected_[i].bytes) << name.toStdString();
    }
}

void put_le32(QByteArray& b, qsizetype at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>(v >> (8 * i));
}

void put_be32(QByteArray& b, qsizetype at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

struct crafted_s {
    const char* name;
    // Bytes a cut file's hit may run past the cut: the last MP3 frame's data cannot tell that it
    // was cut.
    std::uint64_t slack;
    // The size is only stated up front (a database's page count, a RIFF size, a program's section
    // table): a cut file keeps the size it states.
    bool stated;
    std::function<void(QByteArray&)> make_huge;
};

// Every file cut in half, and whole with a size field set huge, among random bytes: each is
// either not found or found no larger than what is there of it (bar the cases above), and no
// hit comes from the random bytes alone.
TEST_F(Carve, CutAndCraftedFilesAreNeverReportedPastTheirBytes)
{
    const auto end_record = [](QByteArray& b) { put_le32(b, b.size() - 22 + 12, 0x7FFFFFF0); };
    const auto media = [](QByteArray& b) { put_be32(b, b.indexOf("mdat") - 4, 0x7FFFFFF0); };
    const std::vector<crafted_s> table = {
        {"archive.zip", 0, false, end_record},
        {"report.docx", 0, false, end_record},
        {"streamed.zip", 0, false, end_record},
        {"large64.zip", 0, false, [](QByteArray& b) { put_le32(b, b.lastIndexOf("PK\6\6") + 40, 0x7FFFFFF0); }},
        {"numbers.gz", 0, false, [](QByteArray& b) { put_le32(b, b.size() - 4, 0x7FFFFFF0); }},
        {"shop.sqlite", 0, true, [](QByteArray& b) { put_be32(b, 28, 0x7FFFFFF0); }},
        {"tone.mp3", 1441, false, [](QByteArray& b) { put_be32(b, 6, 0x7F7F7F7F); }},
        {"chime.wav", 0, true, [](QByteArray& b) { put_le32(b, 4, 0x7FFFFFF0); }},
        {"clip.avi", 0, true, [](QByteArray& b) { put_le32(b, 4, 0x7FFFFFF0); }},
        {"clip.mp4", 0, false, media},
        {"clip.mov", 0, false, media},
        {"true.elf", 0, false, [](QByteArray& b) { put_le32(b, 44, 0x7FFF); }}, // section table offset
        {"noise32be.elf", 0, false, [](QByteArray& b) { put_be32(b, 32, 0x7FFFFFF0); }},
        {"photo.tif", 0, false, [](QByteArray& b) { put_le32(b, 4, 0x7FFFFFF0); }}, // first directory
        {"camera.nef", 0, false, [](QByteArray& b) { put_be32(b, 4, static_cast<std::uint32_t>(b.size() - 6)); }},
        {"picture.heic", 0, false, media},
        {"picture.webp", 0, true, [](QByteArray& b) { put_le32(b, 4, 0x7FFFFFF0); }},
        {"icon.ico", 0, false, [](QByteArray& b) { put_le32(b, 6 + 8, 0x7FFFFFF0); }}, // first image's size
        {"layers.psd", 0, false, [](QByteArray& b) { put_be32(b, 26, 0x7FFFFFF0); }}, // colour data length
        {"notes.rar", 0, false, [](QByteArray& b) { put_le32(b, 7 + 13 + 7, 0x7FFFFFF0); }}, // packed size
        {"notes5.rar", 0, false, [](QByteArray& b) { b[b.size() - 9] = 'x'; }},
        {"bundle.7z", 0, false, [](QByteArray& b) { put_le32(b, 20, 0x7FFFFFF0); }}, // end header's size
        {"numbers.bz2", 0, false, [](QByteArray& b) { b[b.size() - 3] = static_cast<char>(b[b.size() - 3] ^ 0x10); }},
        {"numbers.xz", 0, false, [](QByteArray& b) { put_le32(b, b.size() - 8, 0x7FFFFFF0); }}, // backward size
        {"bundle.tar", 0, false, [](QByteArray& b) { b.replace(124, 11, "77777777777"); }},
        {"compound.doc", 0, false, [](QByteArray& b) { put_le32(b, 44, 0x7FFFFFF0); }}, // table sectors
        {"minutes.rtf", 0, false, [](QByteArray& b) { b.chop(3); }},
        {"tone.flac", 0, false, [](QByteArray& b) { put_be32(b, 8 + 14, 0x0FFFFFFF); }}, // total samples
        {"tone.ogg", 0, false, [](QByteArray& b) { b[b.size() - 100] = static_cast<char>(~b[b.size() - 100]); }},
        {"clip.mkv", 0, false, [](QByteArray& b) { put_be32(b, b.indexOf("\x18\x53\x80\x67") + 5, 0x7FFFFFF0); }},
        {"clip.flv", 0, false, [](QByteArray& b) { put_be32(b, 13, 0x08FFFFFF); }}, // first tag's size
        {"clip.ts", 188, false, [](QByteArray& b) { b[188 * 5] = 'x'; }},
        {"program.exe", 0, true, [](QByteArray& b) { put_le32(b, 0x3C, 0x7FFFFFF0); }},
        {"RtfWriter.class", 0, false, [](QByteArray& b) { b[8] = b[9] = static_cast<char>(0xFF); }}, // pool size
        {"people.json", 0, false, [](QByteArray& b) { b[b.size() / 2] = '\x01'; }},
        {"page.html", 0, false, [](QByteArray& b) { b[b.size() / 2] = '\0'; }},
    };
    std::vector<planted_s> files;
    for (const crafted_s& row : table) {
        const QByteArray whole = read_all(samples_ + "/" + row.name);
        QByteArray huge = whole;
        row.make_huge(huge);
        files.push_back({row.name, 0, whole.left(whole.size() / 2)});
        files.push_back({row.name, 0, huge});
    }
    const std::vector<hit_s> hits = carve_memory(plant(files));
    for (const hit_s& hit : hits) {
        const auto file = std::find_if(files.begin(), files.end(), [&](const planted_s& f) {
            return hit.offset < f.offset + f.bytes.size() && hit.offset + hit.size > f.offset;
        });
        ASSERT_NE(file, files.end()) << "a hit in the random bytes at " << hit.offset;
        const crafted_s& row = table[static_cast<std::size_t>(file - files.begin()) / 2];
        const bool cut = (file - files.begin()) % 2 == 0;
        const std::uint64_t there = file->offset + file->bytes.size() + (cut ? row.slack : 0);
        const bool stated_size = cut && row.stated && hit.offset == file->offset
                                 && hit.size == static_cast<std::uint64_t>(read_all(samples_ + "/" + row.name).size());
        EXPECT_TRUE((hit.offset >= file->offset && hit.offset + hit.size <= there) || stated_size)
            << row.name << (cut ? " cut" : " crafted") << ": " << hit.size << " bytes at " << hit.offset - file->offset;
    }
}

struct split_s {
    const char* name;  // the file split in two
    const char* other; // the whole file written between its fragments
    bool rest_there;   // whether its second fragment follows (else it is lost)
    const char* found; // the extension its hit must have; none when it must not be found
    // A partial file is cut where the other file starts, or (an archive) after its last member
    // whose CRC matches, somewhere before.
    bool cut_at_other = true;
    bool damaged = false; // a byte of its second fragment changed: the join must not check out
};

// Files split in two on a sector boundary, another whole file in between and its cluster's slack
// zero-filled, as a file system leaves a fragmented file: each is joined byte-exact where its
// format can check the join, and cut where the other file starts and marked partial where not;
// the file between them is found whole, and nothing else.
TEST_F(Carve, SplitFilesAreJoinedOrMarkedPartial)
{
    const std::vector<split_s> table = {
        {"beach.jpg", "pic.gif", true, "jpg~j"},
        {"raw_photo.jpg", "report.docx", true, "jpg~j"}, // its data breaks inside the block at the split
        {"restart.jpg", "numbers.xz", true, "jpg~j"},
        {"progressive.jpg", "pic.gif", true, "jpg~p"}, // not decoded, so not joined
        {"holiday.jpg", "tone.mp3", false, "jpg~p"},
        {"archive.zip", "pic.bmp", true, "zip~j"},
        {"large64.zip", "pic.gif", true, "zip~j"}, // its directory found through the Zip64 record
        {"mixed.zip", "chime.wav", false, "zip~p", false},
        {"chart.png", "numbers.gz", true, "png~j"},
        {"chart_small.png", "clip.flv", false, "png~p"},
        {"chart.png", "tone.mp3", true, "png~p", true, true},
        {"mixed.zip", "photo.tif", true, "zip~p", false, true},
        {"archive.zip", "icon.ico", true, nullptr, false, true}, // nothing sound before the gap: dropped
    };
    std::mt19937 random(11);
    QByteArray image;
    const auto filler = [&](int n) {
        for (int i = 0; i < n; ++i)
            image += static_cast<char>(random());
    };
    const auto to_cluster = [&] { image += QByteArray(static_cast<int>((4096 - image.size() % 4096) % 4096), '\0'); };
    struct expect_s {
        std::uint64_t offset;
        QByteArray bytes;
        std::string extension;
        bool exact = true; // else a prefix of bytes
    };
    std::vector<expect_s> expected;
    for (const split_s& row : table) {
        const QByteArray whole = read_all(samples_ + "/" + row.name);
        const QByteArray other = read_all(samples_ + "/" + row.other);
        ASSERT_FALSE(whole.isEmpty() || other.isEmpty()) << row.name;
        filler(5000);
        to_cluster();
        const int first = whole.size() / 2 / 512 * 512;
        const auto at = static_cast<std::uint64_t>(image.size());
        image += whole.left(first);
        if (row.found != nullptr) {
            const bool joined = std::string_view(row.found).ends_with("~j");
            expected.push_back({at, joined ? whole : whole.left(first), row.found, row.cut_at_other});
        }
        expected.push_back({static_cast<std::uint64_t>(image.size()), other, QString(row.other).section('.', -1).toStdString()});
        image += other;
        to_cluster();
        if (row.rest_there) {
            QByteArray rest = whole.mid(first);
            if (row.damaged)
                rest[rest.size() / 3] = static_cast<char>(rest[rest.size() / 3] ^ 0x20);
            image += rest;
        }
    }
    filler(5000);
    QFile file(dir_.filePath("split.img"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
    file.close();
    qputenv("TARN_DISKS", file.fileName().toUtf8());
    enumerate_volumes();
    raw_recovery_c engine;
    scan(engine);
    std::string found;
    for (const raw_hit_s& hit : engine.hits())
        found += std::to_string(hit.offset) + " " + std::to_string(hit.size) + " " + hit.extension + "\n";
    ASSERT_EQ(engine.hits().size(), expected.size()) << found;
    // A saved scan keeps the joined files: the command line's resume, another process, finds their
    // pieces again on the volume.
    ASSERT_EQ(engine.save_results(dir_.filePath("split.sav")), 0);
    QString resumed;
    ASSERT_EQ(test::run_tool(qEnvironmentVariable("TARN_CLI"), {"resume", dir_.filePath("split.sav"), "--recover", dir_.filePath("resumed")},
                             &resumed),
              0)
        << resumed.toStdString();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const raw_hit_s& hit = engine.hits()[i];
        const expect_s& want = expected[i];
        EXPECT_EQ(hit.offset, want.offset) << found;
        if (want.exact)
            EXPECT_EQ(hit.size, static_cast<std::uint64_t>(want.bytes.size())) << found;
        else
            EXPECT_TRUE(hit.size > 30 && hit.size < static_cast<std::uint64_t>(want.bytes.size())) << found;
        EXPECT_STREQ(hit.extension, want.extension.c_str()) << found;
        const QString out = dir_.filePath(QString("split%1").arg(i));
        ASSERT_EQ(engine.recover_file(i, out), 0) << want.extension;
        const QByteArray bytes = want.bytes.left(static_cast<qsizetype>(hit.size));
        EXPECT_TRUE(read_all(out) == bytes) << want.extension << " at " << want.offset;
        EXPECT_TRUE(read_all(dir_.filePath("resumed/" + raw_hit_name(hit))) == bytes) << "resumed " << want.extension;
    }
    // A joined record whose pieces are no longer on the volume writes nothing.
    raw_hit_s moved = engine.hits()[0];
    moved.offset += 512;
    ASSERT_EQ(save_scan_file(dir_.filePath("moved.sav"), volume_list()[1].volume_path.chopped(1), {moved}), 0);
    raw_recovery_c stale;
    ASSERT_FALSE(stale.load_results(dir_.filePath("moved.sav")).isEmpty());
    EXPECT_EQ(stale.recover_file(0, dir_.filePath("moved")), recovery_not_found);
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath("moved")));
}

// Every sample damaged a few ways (bytes overwritten near its start, in its middle and near its
// end, or its end cut off) among random bytes: the scan ends, and every hit and every joined
// file's piece lies inside the volume. The sanitizer build runs this over every parser.
// A fragmented archive whose walk stops at its first entry (Zip64 sizes) is joined at the first
// end record after the other file, with a whole archive far behind it: measuring it reads what
// lies around the archive, not the rest of the volume.
TEST_F(Carve, AFragmentedArchiveIsMeasuredWithoutReadingTheRestOfTheVolume)
{
    const QByteArray zip = read_all(samples_ + "/large64.zip");
    const QByteArray other = read_all(samples_ + "/pic.gif");
    const qsizetype first = zip.size() / 2 / 512 * 512;
    QByteArray image = zip.left(first) + other;
    image += QByteArray(static_cast<int>((4096 - image.size() % 4096) % 4096), '\0') + zip.mid(first);
    const auto tail_at = static_cast<std::uint64_t>(image.size() - (zip.size() - first));
    image += QByteArray(32 << 20, '\0') + read_all(samples_ + "/archive.zip");
    const auto* bytes = reinterpret_cast<const std::byte*>(image.constData());
    const auto plan = std::make_shared<test::failure_plan_s>(); // no failures: it counts the bytes read
    test::failing_source_c counted(std::make_unique<memory_source_c>(std::vector<std::byte>(bytes, bytes + image.size())), plan);
    carve_reader_c reader(counted);
    reader.set_types(&carve_types());
    const carve_found_s found = carve_zip.measure(reader, 0, static_cast<std::uint64_t>(image.size()));
    EXPECT_EQ(found.size, static_cast<std::uint64_t>(first));
    EXPECT_EQ(found.tail_at, tail_at);
    EXPECT_EQ(found.total(), static_cast<std::uint64_t>(zip.size()));
    EXPECT_LT(plan->bytes_read.load(), std::uint64_t{4} << 20);
}

TEST_F(Carve, DamagedFilesNeverCrashOrReadPastTheVolume)
{
    std::mt19937 random(23);
    std::vector<planted_s> files;
    for (const QString& name : sample_names) {
        const QByteArray whole = read_all(samples_ + "/" + name);
        for (int shape = 0; shape < 6; ++shape) {
            QByteArray bytes = whole;
            const auto n = static_cast<std::size_t>(bytes.size());
            if (shape == 5) {
                bytes.truncate(static_cast<qsizetype>(random() % n));
            } else {
                const std::size_t from = shape == 0 ? 0 : shape == 1 ? n / 2 : n - std::min<std::size_t>(n, 64);
                for (int k = 0; k < 1 + shape; ++k)
                    bytes[static_cast<qsizetype>((from + random() % 64) % n)] = static_cast<char>(random());
            }
            files.push_back({name, 0, bytes});
        }
    }
    const QByteArray image = plant(files);
    const auto* first = reinterpret_cast<const std::byte*>(image.constData());
    memory_source_c source(std::vector<std::byte>(first, first + image.size()));
    const auto size = static_cast<std::uint64_t>(image.size());
    for (const hit_s& hit : carve_memory(image)) {
        EXPECT_LE(hit.offset + hit.size, size) << hit.extension;
        if (!hit.extension.ends_with("~j"))
            continue;
        carve_reader_c reader(source);
        reader.set_types(&carve_types());
        const std::vector<carve_piece_s> pieces = carve_pieces(reader, hit.offset, hit.size);
        ASSERT_EQ(pieces.size(), 2u) << hit.extension << " at " << hit.offset;
        for (const carve_piece_s& piece : pieces)
            EXPECT_LE(piece.at + piece.size, size);
    }
}

// Each type turned off alone in the configuration file: no hit of that type is left, and what
// changes lies inside the files of that type (a container's contents are found once it is not;
// a raw file is then the TIFF it is built on). The command line lists every type with its size.
TEST_F(Carve, EachTypeTurnsOffAlone)
{
    std::vector<planted_s> files;
    for (std::size_t i = 0; i < planted_.size(); i += 2)
        files.push_back(planted_[i]);
    const QByteArray image = plant(files);
    const std::vector<hit_s> all = carve_memory(image);
    const QString conf = dir_.filePath("one-off.conf");
    for (const carve_format_s* format : carve_formats()) {
        QFile f(conf);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(format->extension) + " off\n");
        f.close();
        configure_carving(conf);
        const std::vector<hit_s> hits = carve_memory(image);
        const auto same = [](const hit_s& a, const hit_s& b) { return a.offset == b.offset && a.size == b.size; };
        std::vector<hit_s> gone;
        std::copy_if(all.begin(), all.end(), std::back_inserter(gone), [&](const hit_s& h) {
            return std::none_of(hits.begin(), hits.end(), [&](const hit_s& k) { return same(h, k) && h.extension == k.extension; });
        });
        const bool present = std::any_of(all.begin(), all.end(), [&](const hit_s& h) { return h.extension == format->extension; });
        EXPECT_TRUE(!present || !gone.empty()) << format->extension;
        for (const hit_s& hit : hits) {
            EXPECT_NE(hit.extension, format->extension);
            const bool kept = std::any_of(all.begin(), all.end(), [&](const hit_s& h) { return same(h, hit); });
            EXPECT_TRUE(kept || std::any_of(gone.begin(), gone.end(), [&](const hit_s& g) {
                            return hit.offset >= g.offset && hit.offset + hit.size <= g.offset + g.size;
                        }))
                << format->extension << " off: a hit outside its files at " << hit.offset;
        }
    }
    configure_carving(dir_.filePath("none.conf"));
    QString listed;
    ASSERT_EQ(test::run_tool(qEnvironmentVariable("TARN_CLI"), {"carve", "--types"}, &listed), 0);
    const QStringList lines = listed.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), static_cast<qsizetype>(carve_formats().size()));
    for (std::size_t i = 0; i < carve_formats().size(); ++i)
        EXPECT_EQ(lines[static_cast<qsizetype>(i)].toStdString(),
                  std::string(carve_formats()[i]->extension) + "\ttrue\t" + std::to_string(carve_formats()[i]->largest));
}

// The decode that checks a JPEG join, on every sample JPEG split in half with a sector of zeros
// (a cluster's slack) before its second half: it comes out exactly when the second half is read
// from its place, and not from where the zeros start nor a sector past its place, nor when its
// last data bytes are missing.
TEST_F(Carve, JpegDecodingComesOutExactlyOnlyFromTheRightPlace)
{
    int joined = 0;
    for (std::size_t i = 0; i < planted_.size(); i += 2) { // each sample once
        const planted_s& file = planted_[i];
        if (!file.name.endsWith(".jpg") || file.name == "progressive.jpg")
            continue;
        const qsizetype half = file.bytes.size() / 2 / 512 * 512;
        const QByteArray bytes = file.bytes.left(half) + QByteArray(512, '\0') + file.bytes.mid(half);
        const auto* first = reinterpret_cast<const std::byte*>(bytes.constData());
        memory_source_c source(std::vector<std::byte>(first, first + bytes.size()));
        carve_reader_c reader(source);
        jpeg_decoder_c decoder(reader, 0, static_cast<std::uint64_t>(bytes.size()));
        ASSERT_TRUE(decoder.run_to(static_cast<std::uint64_t>(half))) << file.name.toStdString();
        for (const qsizetype resume : {half + 512, half, half + 1024}) {
            jpeg_decoder_c attempt = decoder;
            const std::uint64_t end = attempt.finish(static_cast<std::uint64_t>(resume));
            EXPECT_EQ(end, resume == half + 512 ? static_cast<std::uint64_t>(bytes.size()) : 0)
                << file.name.toStdString() << " resumed at " << resume - half;
        }
        // The second half short of its last data bytes: its end comes early, at the EOI
        // marker, and the blocks missing are not made up from the bits past it.
        for (const qsizetype missing : {1, 2, 3, 32}) {
            const QByteArray cut = bytes.left(bytes.size() - 2 - missing) + bytes.right(2);
            const auto* cut_first = reinterpret_cast<const std::byte*>(cut.constData());
            memory_source_c cut_source(std::vector<std::byte>(cut_first, cut_first + cut.size()));
            carve_reader_c cut_reader(cut_source);
            jpeg_decoder_c cut_decoder(cut_reader, 0, static_cast<std::uint64_t>(cut.size()));
            ASSERT_TRUE(cut_decoder.run_to(static_cast<std::uint64_t>(half)));
            EXPECT_EQ(cut_decoder.finish(static_cast<std::uint64_t>(half + 512)), 0u)
                << file.name.toStdString() << " without its last " << missing << " data bytes";
        }
        // Every place a scan would try (most of them inside the second half, where the decoding
        // falls into step with the right one's): the same place and end as trying each in turn.
        const std::vector<std::uint64_t> places = resume_places(static_cast<std::uint64_t>(half), static_cast<std::uint64_t>(bytes.size()));
        std::uint64_t end = 0;
        const int found = jpeg_decoder_c(decoder).finish_first(places, end);
        ASSERT_GE(found, 0) << file.name.toStdString();
        EXPECT_EQ(places[static_cast<std::size_t>(found)], static_cast<std::uint64_t>(half + 512)) << file.name.toStdString();
        EXPECT_EQ(end, static_cast<std::uint64_t>(bytes.size())) << file.name.toStdString();
        for (int before = 0; before < found; ++before)
            EXPECT_EQ(jpeg_decoder_c(decoder).finish(places[static_cast<std::size_t>(before)]), 0u) << file.name.toStdString();
        ++joined;
    }
    EXPECT_GE(joined, 4);
}

struct shaped_s {
    const char* what;
    const char* type;
    std::function<QByteArray(const QString& samples)> make;
    bool found_whole; // else not found as that type (a deep JSON is still plain text)
};

// Shapes no writer makes, built by hand around real files: structures that point back into
// themselves or nest without end are walked a bounded number of steps, and what cannot be
// checked is given up, never reported.
TEST_F(Carve, HandMadeShapesAreBoundedAndChecked)
{
    const auto sample = [](const QString& samples, const char* name) { return read_all(samples + "/" + name); };
    const std::vector<shaped_s> table = {
        {"TIFF whose directory names itself as the next one", "tif", [&](const QString& d) {
             QByteArray b = sample(d, "photo.tif");
             const std::uint32_t ifd = static_cast<std::uint8_t>(b[4]) | static_cast<std::uint8_t>(b[5]) << 8
                                       | static_cast<std::uint8_t>(b[6]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[7])) << 24;
             const int entries = static_cast<std::uint8_t>(b[ifd]) | static_cast<std::uint8_t>(b[ifd + 1]) << 8;
             put_le32(b, ifd + 2 + 12 * entries, ifd);
             return b;
         }, true},
        {"compound file whose directory chain loops", "doc", [&](const QString& d) {
             QByteArray b = sample(d, "compound.doc");
             const std::uint32_t directory = static_cast<std::uint8_t>(b[48]) | static_cast<std::uint8_t>(b[49]) << 8;
             const std::uint32_t fat = static_cast<std::uint8_t>(b[76]) | static_cast<std::uint8_t>(b[77]) << 8;
             put_le32(b, 512 + 512 * fat + 4 * directory, directory);
             return b;
         }, true},
        {"JSON nested 100,000 deep", "json", [](const QString&) { return "{\"a\":" + QByteArray(100000, '[') + QByteArray(100000, ']') + "}\n"; }, false},
        {"RTF nested 100,000 deep", "rtf", [](const QString&) { return "{\\rtf1 " + QByteArray(100000, '{') + QByteArray(100001, '}') + "\n"; }, false},
        {"RAR 5 whose headers are encrypted", "rar", [](const QString&) {
             QByteArray body = QByteArray::fromHex("0404000000") + QByteArray(16, 'k'); // type 4, version, flags, salt...
             body.prepend(static_cast<char>(body.size()));
             QByteArray b = QByteArray("Rar!\x1A\x07\x01\x00", 8) + QByteArray(4, '\0') + body + QByteArray(200, 'x');
             put_le32(b, 8, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), static_cast<uInt>(body.size()))));
             return b;
         }, false},
        {"FLAC that does not say how many samples it holds", "flac", [&](const QString& d) {
             QByteArray b = sample(d, "tone.flac");
             b[8 + 13] = static_cast<char>(b[8 + 13] & 0xF0);
             put_be32(b, 8 + 14, 0);
             return b;
         }, false},
    };
    std::vector<planted_s> files;
    for (const shaped_s& row : table)
        files.push_back({row.what, 0, row.make(samples_)});
    const std::vector<hit_s> hits = carve_memory(plant(files));
    for (const planted_s& file : files) {
        const shaped_s& row = table[static_cast<std::size_t>(&file - files.data())];
        const auto hit = std::find_if(hits.begin(), hits.end(), [&](const hit_s& h) { return h.offset == file.offset; });
        if (row.found_whole) {
            ASSERT_NE(hit, hits.end()) << row.what;
            EXPECT_EQ(hit->size, static_cast<std::uint64_t>(file.bytes.size())) << row.what;
            EXPECT_EQ(hit->extension, row.type) << row.what;
        } else {
            EXPECT_TRUE(hit == hits.end() || !hit->extension.starts_with(row.type)) << row.what;
        }
    }
}

struct text_case_s {
    const char* what;
    QByteArray bytes;
    bool aligned;      // written at a sector start (after zeros), else at an odd offset after text-free bytes
    QByteArray after;  // what follows it
    qsizetype found;   // the hit's size, 0 for none
    QByteArray fill = "\x01"; // repeated before it
};

// Plain text, found by content at sector starts: where it ends, and where it is not a file (nor
// where a file of a text format starts right after a few stray bytes).
TEST(CarveText, PlainTextIsFoundWhereItStartsASector)
{
    const QByteArray lines = QByteArray("A line of notes, nothing more.\n").repeated(12);
    const QByteArray greek = QByteArray("Καλημέρα κόσμε, γραμμή κειμένου.\n").repeated(6);
    QByteArray random_text;
    std::mt19937 random(3);
    for (int i = 0; i < 40; ++i)
        random_text += static_cast<char>('a' + random() % 26);
    const std::vector<text_case_s> table = {
        {"text ending in a file's zero slack, last line unbroken", lines + "no line break", true, QByteArray(600, '\0'), lines.size() + 13},
        {"text followed by text-like bytes", lines, true, random_text + '\x01', lines.size()},
        {"UTF-8 text", greek, true, QByteArray(600, '\0'), greek.size()},
        {"text at an odd offset", lines, false, QByteArray(600, '\0'), 0},
        {"text too short to tell", "Just a few words.\n", true, QByteArray(600, '\0'), 0},
        {"text without a line break", QByteArray(200, 'x'), true, QByteArray(1, '\x02'), 0},
        {"text after 0xFF bytes (never UTF-8)", lines, true, QByteArray(600, '\0'), lines.size(), "\xff"},
        {"text after 0xC0 bytes (never UTF-8)", lines, true, QByteArray(600, '\0'), lines.size(), "\xc0"},
        {"a sector in the middle of UTF-8 text", lines, true, QByteArray(600, '\0'), 0, "\xc3\xa9"},
    };
    QByteArray image;
    std::vector<std::uint64_t> at;
    for (const text_case_s& row : table) {
        const int pad = 1024 + static_cast<int>((1024 - image.size() % 512) % 512);
        image += row.fill.repeated(pad).right(pad); // ends with the fill's last byte
        image += row.aligned ? QByteArray() : QByteArray(7, '\x02');
        at.push_back(static_cast<std::uint64_t>(image.size()));
        image += row.bytes + row.after;
    }
    // A stray byte at a sector start, then an RTF document: the document, not text.
    image += QByteArray(static_cast<int>((512 - image.size() % 512) % 512) + 512, '\0');
    const QByteArray rtf = "{\\rtf1\\ansi " + lines + "\\par}\n";
    const auto rtf_at = static_cast<std::uint64_t>(image.size()) + 1;
    image += "x" + rtf;
    image += QByteArray(4096, '\0');
    const std::vector<hit_s> hits = carve_memory(image);
    EXPECT_TRUE(std::any_of(hits.begin(), hits.end(), [&](const hit_s& h) {
        return h.offset == rtf_at && h.size == static_cast<std::uint64_t>(rtf.size()) && h.extension == "rtf";
    }));
    EXPECT_TRUE(std::none_of(hits.begin(), hits.end(), [&](const hit_s& h) { return h.offset == rtf_at - 1; }));
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto hit = std::find_if(hits.begin(), hits.end(), [&](const hit_s& h) {
            return h.offset >= at[i] && h.offset < at[i] + static_cast<std::uint64_t>(table[i].bytes.size());
        });
        if (table[i].found == 0) {
            EXPECT_EQ(hit, hits.end()) << table[i].what << ": " << (hit != hits.end() ? hit->offset - at[i] : 0);
            continue;
        }
        ASSERT_NE(hit, hits.end()) << table[i].what;
        EXPECT_EQ(hit->offset, at[i]) << table[i].what;
        EXPECT_EQ(hit->size, static_cast<std::uint64_t>(table[i].found)) << table[i].what;
        EXPECT_EQ(hit->extension, "txt") << table[i].what;
    }
}

// A PDF cut short, as a file system leaves one whose later clusters were reused: pages whose
// content streams hold an inline picture, then page text that begins at a sector start. It is
// cut after its last whole object and marked partial, and none of its page text comes out as
// text files; a whole PDF after it keeps its own end.
TEST(CarvePdf, APdfCutShortIsPartialAndItsTextStaysInside)
{
    std::mt19937 random(5);
    const QByteArray text = QByteArray("BT /F1 11 Tf 72 700 Td (A line of the page's own words.) Tj ET\n").repeated(12);
    QByteArray pdf = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
    for (int n = 1; n <= 4; ++n) {
        pdf += QByteArray::number(n) + " 0 obj\n<< >>\nstream\nq BI /W 30 /H 30 /BPC 8 /CS /G ID ";
        // The picture's bytes run to a sector's end; the text after them starts the next sector.
        QByteArray picture(900 + static_cast<int>((512 - (pdf.size() + 900) % 512) % 512), '\0');
        for (char& c : picture)
            c = static_cast<char>(random());
        picture.back() = '\x01';
        pdf += picture + "EI Q\n" + text + "endstream\nendobj\n";
    }
    const qsizetype last_whole = pdf.size();
    pdf += "5 0 obj\n<< >>\nstream\nBT /F1 11 Tf (cut here"; // the rest was overwritten
    const QByteArray whole = "%PDF-1.4\n1 0 obj\n<< >>\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n";
    QByteArray image = QByteArray(512, '\0') + pdf + QByteArray(512 * 3, '\0');
    const auto whole_at = static_cast<std::uint64_t>(image.size());
    image += whole + QByteArray(4096, '\0');
    const std::vector<hit_s> hits = carve_memory(image);
    std::string found;
    for (const hit_s& hit : hits)
        found += std::to_string(hit.offset) + " " + std::to_string(hit.size) + " " + hit.extension + "\n";
    ASSERT_EQ(hits.size(), 2u) << found;
    EXPECT_EQ(hits[0].extension, "pdf~p") << found;
    EXPECT_EQ(hits[0].offset, 512u) << found;
    EXPECT_EQ(hits[0].size, static_cast<std::uint64_t>(last_whole)) << found;
    EXPECT_EQ(hits[1].extension, "pdf") << found;
    EXPECT_EQ(hits[1].offset, whole_at) << found;
    EXPECT_EQ(hits[1].size, static_cast<std::uint64_t>(whole.size())) << found;
}

// A two-piece layout reads and sums what the pieces hold, in any span across the split.
TEST(CarveFragments, SplitLayoutReadsBothPieces)
{
    std::mt19937 random(9);
    std::vector<std::byte> bytes(300000);
    for (std::byte& b : bytes)
        b = static_cast<std::byte>(random());
    memory_source_c source(bytes);
    carve_reader_c reader(source);
    const split_layout_s layout{70000, 150000}; // the file: [0, 70000) then [150000, ...)
    for (int i = 0; i < 200; ++i) {
        const std::uint64_t at = random() % 100000;
        const std::size_t length = 1 + random() % 40000;
        std::vector<std::byte> expected;
        for (std::uint64_t k = at; k < at + length; ++k)
            expected.push_back(bytes[k < 70000 ? k : k - 70000 + 150000]);
        std::vector<std::byte> got(length);
        ASSERT_TRUE(layout.read(reader, at, got));
        EXPECT_TRUE(got == expected) << at << " " << length;
        std::uint32_t crc = 0;
        ASSERT_TRUE(layout.crc32(reader, at, length, crc));
        EXPECT_EQ(crc, crc32(0, reinterpret_cast<const Bytef*>(expected.data()), static_cast<uInt>(length)));
    }
}

// Files that start the volume or end it exactly are found whole.
TEST_F(Carve, FilesAtTheVolumesEdgesAreFoundWhole)
{
    std::vector<planted_s> files;
    QByteArray image;
    for (const char* name : {"streamed.zip", "clip.avi", "tone.mp3"}) {
        image += QByteArray(image.isEmpty() ? 0 : 1001, 'f');
        files.push_back({name, static_cast<std::uint64_t>(image.size()), read_all(samples_ + "/" + name)});
        image += files.back().bytes;
    }
    const std::vector<hit_s> hits = carve_memory(image);
    ASSERT_EQ(hits.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(hits[i].offset, files[i].offset);
        EXPECT_EQ(hits[i].size, static_cast<std::uint64_t>(files[i].bytes.size()));
        EXPECT_EQ(hits[i].extension, files[i].name.section('.', -1).toStdString());
    }
}

// The type list: one entry per extension (the configuration file names types by it), each
// extension short enough for the scan file's record, every header pattern one the scan's search
// takes (two to sixteen bytes), and a type without patterns tried at sector starts instead.
TEST(CarveFormats, EveryTypeCanBeFoundAndNamed)
{
    std::vector<std::string> extensions;
    for (const carve_format_s* format : carve_formats()) {
        const std::string extension = format->extension;
        EXPECT_EQ(std::count(extensions.begin(), extensions.end(), extension), 0) << extension;
        extensions.push_back(extension);
        EXPECT_LE(extension.size(), 7u);
        EXPECT_TRUE(!format->headers.empty() || format->sector_test != nullptr) << extension;
        for (const std::string_view header : format->headers)
            EXPECT_TRUE(header.size() >= 2 && header.size() <= header_index_c::longest) << extension;
    }
    EXPECT_GE(extensions.size(), 30u);
}

// The look-ahead search remembers what it has seen; in any order of queries it finds what a plain
// search finds, across its 64 KiB steps and after it dropped old offsets.
TEST(CarveReader, FindAgreesWithAPlainSearch)
{
    std::mt19937 random(5);
    std::vector<std::byte> bytes(300000);
    for (std::byte& b : bytes)
        b = static_cast<std::byte>(random() % 4 == 0 ? 'P' : random());
    const std::string mark("PK\5\6", 4);
    for (std::size_t at : {std::size_t{0}, std::size_t{65534}, std::size_t{65535}, std::size_t{131070}, bytes.size() - 4})
        std::memcpy(bytes.data() + at, mark.data(), mark.size());
    for (std::size_t i = 0; i < 9000; ++i) // more offsets than the search keeps
        std::memcpy(bytes.data() + 200000 + 8 * i % 90000, mark.data(), mark.size());
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    memory_source_c source(bytes);
    carve_reader_c reader(source);
    std::uint64_t from = 0;
    for (int query = 0; query < 3000; ++query) {
        from = random() % 8 == 0 ? random() % bytes.size() : std::min<std::uint64_t>(from + random() % 3000, bytes.size());
        const std::uint64_t stop = std::min<std::uint64_t>(bytes.size(), from + random() % 200000);
        const std::string_view pattern = query % 50 == 49 ? std::string_view("PK") : std::string_view(mark);
        const auto plain = text.substr(0, stop).find(pattern, from);
        const std::uint64_t expected = from > stop || plain == std::string_view::npos ? stop : plain;
        ASSERT_EQ(reader.find(from, stop, pattern), expected) << "query " << query << " from " << from << " to " << stop;
    }
}

// Scan files: what is written reads back; lengths that are not 256 + 32 N (N at least 1) and
// sequence numbers that are not 0, 1, 2, ... are refused, never half read.
// The writer behind a large recovered file writes its parts in order, more of them than it holds
// at once, and says when one could not be written; the next file starts with a clean slate.
TEST(WriteBehind, PartsLandInOrderAndAFailedOneIsReported)
{
    QTemporaryDir dir;
    QFile out(dir.filePath("large"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    QFile closed(dir.filePath("read-only"));
    ASSERT_TRUE(closed.open(QIODevice::WriteOnly) && closed.write("x", 1) == 1);
    closed.close();
    ASSERT_TRUE(closed.open(QIODevice::ReadOnly));
    write_behind_c writer;
    QByteArray expected;
    for (const int fd : {out.handle(), closed.handle(), out.handle()}) {
        for (int part = 0; part < 11; ++part) {
            const std::span<char> room = writer.next_part();
            const std::size_t n = room.size() - static_cast<std::size_t>(part) * 1000;
            std::fill_n(room.data(), n, static_cast<char>('a' + part));
            writer.write(fd, n);
            if (fd == out.handle())
                expected.append(QByteArray(static_cast<qsizetype>(n), static_cast<char>('a' + part)));
        }
        EXPECT_EQ(writer.wait(), fd == out.handle());
    }
    out.close();
    QFile back(dir.filePath("large"));
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_TRUE(back.readAll() == expected);
}

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
    // Another writer may fill all eight bytes of the extension.
    std::memcpy(hits[0].extension, "longname", 8);
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
    EXPECT_EQ(raw_hit_extension(read[0]), "longname");
    EXPECT_EQ(raw_hit_name(read[0]), "00000000.longname");

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

namespace {

// A save while the deep scan still finds files writes the hits found until then, whole and in
// order, and the scan goes on unharmed (the sanitizer build sees any read of the growing list).
TEST(ScanFile, SavingDuringAScanWritesTheHitsFoundSoFar)
{
    QTemporaryDir dir;
    constexpr int sectors = 100000;
    QByteArray image;
    image.reserve(sectors * 512);
    for (int i = 0; i < sectors; ++i) {
        const QByteArray text = "Note " + QByteArray::number(i) + ": a line of plain text, long enough to be a file of its own.\n";
        image += text + QByteArray(512 - text.size(), '\0');
    }
    QFile file(dir.filePath("notes.img"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
    file.close();
    qputenv("TARN_DISKS", file.fileName().toUtf8());
    enumerate_volumes();
    ASSERT_EQ(volume_list().size(), 2u);
    configure_carving(dir.filePath("none.conf"));
    raw_recovery_c engine;
    engine.set_volume(volume_list()[1]);
    engine.start();
    int saved_while_running = 0;
    std::vector<raw_hit_s> read;
    while (engine.isRunning()) {
        const QString path = dir.filePath(QString("during%1.sav").arg(saved_while_running));
        if (engine.save_results(path) != 0)
            continue; // nothing found yet
        ASSERT_FALSE(load_scan_file(path, read).isEmpty());
        EXPECT_EQ(raw_hit_extension(read.back()), "txt");
        ++saved_while_running;
    }
    ASSERT_TRUE(engine.wait(120000));
    qunsetenv("TARN_DISKS");
    EXPECT_GT(saved_while_running, 0);
    ASSERT_EQ(engine.save_results(dir.filePath("after.sav")), 0);
    ASSERT_FALSE(load_scan_file(dir.filePath("after.sav"), read).isEmpty());
    EXPECT_EQ(read.size(), static_cast<std::size_t>(sectors));
}

// A scan file whose records lie past the volume's end (crafted, or of another volume that had
// the same name) writes nothing for them; the record that lies inside is written whole.
TEST(ScanFile, RecordsPastTheVolumesEndAreNotWritten)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("small.img"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(1 << 20, 'v')) == (1 << 20));
    file.close();
    qputenv("TARN_DISKS", file.fileName().toUtf8());
    enumerate_volumes();
    ASSERT_EQ(volume_list().size(), 2u);
    std::vector<raw_hit_s> hits(22);
    for (std::size_t i = 0; i < hits.size(); ++i) {
        hits[i].sequence = i;
        hits[i].size = 1ull << 62;
        std::strcpy(hits[i].extension, "bin");
    }
    hits[20].offset = 1ull << 40;
    hits[20].size = 10;
    hits[21].size = 1 << 20; // the whole volume: inside
    ASSERT_EQ(save_scan_file(dir.filePath("crafted.sav"), volume_list()[1].volume_path.chopped(1), hits), 0);
    qunsetenv("TARN_DISKS");
    QString output;
    EXPECT_EQ(test::run_tool(qEnvironmentVariable("TARN_CLI"), {"resume", dir.filePath("crafted.sav"), "--recover", dir.filePath("out")},
                             &output, {"TARN_DISKS=" + file.fileName()}),
              1)
        << output.toStdString();
    EXPECT_EQ(QDir(dir.filePath("out")).entryList(QDir::Files), QStringList{"00000021.bin"});
    EXPECT_EQ(QFileInfo(dir.filePath("out/00000021.bin")).size(), 1 << 20);
}

} // namespace

namespace {

std::uint64_t resident_kib(const char* field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(std::strlen(field))).trimmed().split(' ').front().toULongLong();
    return 0;
}

// A scan file of two million records is read a block at a time: its peak memory is about the
// records it holds, not the file read whole and then copied.
TEST(ScanFile, ALargeScanFileIsReadInBlocks)
{
    QTemporaryDir dir;
    constexpr std::size_t count = 2'000'000;
    {
        std::vector<raw_hit_s> hits(count);
        for (std::size_t i = 0; i < count; ++i) {
            hits[i].sequence = i;
            hits[i].offset = i * 512;
            hits[i].size = 512;
            std::strcpy(hits[i].extension, "txt");
        }
        ASSERT_EQ(save_scan_file(dir.filePath("large.sav"), "/large", hits), 0);
    }
    QFile reset("/proc/self/clear_refs");
    if (!reset.open(QIODevice::WriteOnly) || reset.write("5") != 1)
        GTEST_SKIP() << "the peak memory cannot be reset here";
    reset.close();
    const std::uint64_t before = resident_kib("VmRSS:");
    std::vector<raw_hit_s> read;
    ASSERT_EQ(load_scan_file(dir.filePath("large.sav"), read), "/large");
    ASSERT_EQ(read.size(), count);
    const std::uint64_t grown = resident_kib("VmHWM:") - before;
    EXPECT_LT(grown, count * sizeof(raw_hit_s) / 1024 * 3 / 2) << grown << " KiB for " << count << " records";
}

} // namespace
