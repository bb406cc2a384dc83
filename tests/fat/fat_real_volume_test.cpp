// The FAT scanner on volumes made by the real tools (mkfs.fat, mtools), cross-checked against
// The Sleuth Kit's listing of deleted entries and against the original file contents.

#include "scan/fat_recovery.h"
#include "tests/fat/fat_fixture.h"
#include "tests/support/test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <map>

using namespace tarn;
using namespace tarn::test;

namespace {

const QStringList tool_env = {"MTOOLS_SKIP_CHECK=1", "LC_ALL=C.UTF-8", "TZ=UTC"};

struct expected_s {
    std::int64_t size = 0, modified = 0, created = 0;
    bool dir = false;
};

// Drops the first character of every component: deleted names lose theirs on disk.
QString comparable(const QString& path)
{
    QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (QString& p : parts)
        p.remove(0, 1);
    return parts.join(QLatin1Char('/'));
}

class FatRealVolume : public fat_fixture_c, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override
    {
        qputenv("TZ", "UTC");
        tzset();
    }
    int tool(const QString& time, const QStringList& args)
    {
        QString output;
        const int rc = run_tool(QStringLiteral("faketime"), QStringList{time} + args, &output, tool_env);
        if (rc != 0)
            ADD_FAILURE() << args.join(' ').toStdString() << ": " << output.toStdString();
        return rc;
    }
    QString make_file(const QString& name, int size)
    {
        QByteArray data(size, '\0');
        QRandomGenerator rng(static_cast<quint32>(size) + 17);
        for (char& c : data)
            c = static_cast<char>(rng.generate());
        const QString file = path("src/" + name);
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(data);
        originals_[name] = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
        return file;
    }
    // The deleted entries as The Sleuth Kit lists them, keyed by comparable path.
    std::map<QString, expected_s> sleuthkit_listing(const QString& image)
    {
        QString output;
        EXPECT_EQ(run_tool(QStringLiteral("fls"), {"-r", "-d", "-m", "/", "-z", "UTC", image}, &output), 0);
        std::map<QString, expected_s> out;
        for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList f = line.split(QLatin1Char('|'));
            if (f.size() < 11)
                continue;
            QString name = f[1];
            name.remove(QStringLiteral(" (deleted)"));
            if (name.contains(QStringLiteral("$OrphanFiles")))
                continue; // entries no directory walk reaches
            expected_s e{f[6].toLongLong(), f[8].toLongLong(), f[10].toLongLong(), f[3].startsWith('d')};
            if (!e.dir && e.size == 0)
                continue; // start cluster 0: nothing to recover and no key to store it under
            out[comparable(name)] = e;
        }
        return out;
    }
    std::map<QString, QByteArray> originals_;
};

TEST_P(FatRealVolume, DeletedFilesAndFoldersMatchTheSleuthKitAndRecoverExactly)
{
    const int bits = GetParam();
    ASSERT_TRUE(QDir(dir_.path()).mkpath("src"));
    const QString image = path("vol.img");
    const std::uint64_t sectors = bits == 32 ? 140000 : bits == 16 ? 40000 : 8000;
    ASSERT_EQ(format_fat(image, 0, sectors, bits, "TEST"), 0);
    const QString at = QStringLiteral("-i");
    const QString t1 = QStringLiteral("2024-01-15 10:00:00"), t2 = QStringLiteral("2024-03-02 17:31:44");
    const QStringList files = {make_file("Überraschung_größe.txt", 100), make_file("中文文件名.txt", 70000),
                               make_file("small.txt", 3), make_file("empty.txt", 0),
                               make_file("big.bin", 300000), make_file("keep.txt", 50)};
    ASSERT_EQ(tool(t1, {"mmd", at, image, "::/Ordner", "::/Ordner/sub", "::/Ordner/sub/tief"}), 0);
    ASSERT_EQ(tool(t1, {"mcopy", at, image, files[0], files[1], files[2], files[3], "::/"}), 0);
    ASSERT_EQ(tool(t2, {"mcopy", at, image, files[4], files[5], files[0], "::/Ordner/"}), 0);
    ASSERT_EQ(tool(t2, {"mcopy", at, image, files[1], files[2], "::/Ordner/sub/tief/"}), 0);
    ASSERT_EQ(tool(t2, {"mdel", at, image, "::/Überraschung_größe.txt", "::/中文文件名.txt", "::/small.txt",
                        "::/empty.txt", "::/Ordner/big.bin"}),
              0);
    ASSERT_EQ(tool(t2, {"mdeltree", at, image, "::/Ordner/sub"}), 0);

    ASSERT_EQ(use_disks({image}), 1);
    fat_recovery_c engine;
    volume_item_s volume;
    volume.volume_path = image;
    engine.set_volume(volume);
    engine.start();
    ASSERT_TRUE(engine.wait(60000));

    std::map<QString, const fat_record_s*> ours;
    for (const auto& [key, r] : engine.findings()) {
        if (!(r.attributes & fat_attr_deleted))
            continue;
        QString full = r.name;
        for (auto p = engine.findings().find(r.parent_cluster); p != engine.findings().end() && p->first != 0;
             p = engine.findings().find(p->second.parent_cluster))
            full = p->second.name + '/' + full;
        ours[comparable(full)] = &r;
    }
    const auto expected = sleuthkit_listing(image);
    ASSERT_EQ(expected.size(), 8u); // 4 files (not the empty one), sub, tief, their 2 files
    std::vector<QString> ours_keys, their_keys;
    for (const auto& [k, v] : ours)
        ours_keys.push_back(k);
    for (const auto& [k, v] : expected)
        their_keys.push_back(k);
    EXPECT_EQ(ours_keys, their_keys);

    for (const auto& [key, e] : expected) {
        const auto found = ours.find(key);
        if (found == ours.end())
            continue;
        const fat_record_s& r = *found->second;
        EXPECT_EQ(r.name.front(), QLatin1Char('#')) << key.toStdString();
        EXPECT_EQ(bool(r.attributes & fat_attr_directory), e.dir) << key.toStdString();
        EXPECT_EQ(r.modified, e.modified) << key.toStdString();
        EXPECT_EQ(r.created, e.created) << key.toStdString();
        if (e.dir)
            continue;
        EXPECT_EQ(r.size, e.size) << key.toStdString();
        const QString out = path("out.bin");
        ASSERT_EQ(engine.recover_file(r.start_cluster, out), 0) << key.toStdString();
        QFile recovered(out);
        ASSERT_TRUE(recovered.open(QIODevice::ReadOnly));
        const QByteArray digest = QCryptographicHash::hash(recovered.readAll(), QCryptographicHash::Sha256);
        const QString original = key.section('/', -1);
        bool matched = false;
        for (const auto& [name, sum] : originals_)
            matched |= name.mid(1) == original && sum == digest;
        EXPECT_TRUE(matched) << key.toStdString();
    }
    // The tree holds the deleted files under their folders.
    const fat_record_s& root = engine.findings().at(0);
    EXPECT_EQ(root.has_files, 1);
}

INSTANTIATE_TEST_SUITE_P(Types, FatRealVolume, ::testing::Values(12, 16, 32));

} // namespace
