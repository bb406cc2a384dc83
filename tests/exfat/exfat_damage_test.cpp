// The exFAT engine on volumes mkfs.exfat made and then edited by hand, for what no real tool
// makes: entry sets whose checksum fails or whose slots were reused, chains that loop or were
// taken, sizes past the volume, bytes past the valid length, names that would leave the target
// folder, damaged boot regions, a missing or short up-case table or bitmap. Each is scanned from
// memory as the engine scans a disk.

#include "platform/memory_source.h"
#include "recovery/engine_table.h"
#include "recovery/exfat_tree.h"
#include "recovery/tree_extraction.h"
#include "scan/exfat_recovery.h"
#include "tests/exfat/exfat_volume.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace tarn;
using namespace tarn::test;

namespace {

constexpr std::uint32_t cluster = 4096;

class ExfatDamage : public ::testing::Test {
protected:
    void SetUp() override { make(8 << 20); }
    void make(std::uint64_t bytes)
    {
        image_ = std::make_unique<exfat_image_c>(dir_.path(), bytes);
        ASSERT_FALSE(image_->bytes().empty());
        slot_ = static_cast<std::size_t>(image_->root_slot(0x00));
        next_free_ = image_->free_cluster(2);
    }
    // Puts content at the next free clusters (left free, as a deleted file's), one after
    // another; returns the first.
    std::uint32_t put_data(const QByteArray& content, std::uint32_t gap = 0)
    {
        const std::uint32_t first = next_free_;
        std::memcpy(image_->bytes().data() + image_->cluster_offset(first), content.constData(), content.size());
        next_free_ += (content.size() + cluster - 1) / cluster + gap;
        return first;
    }
    // A set in the root, after those put before.
    void put_root(const exfat_set_spec_s& spec) { slot_ += image_->put_set(image_->root_cluster(), slot_, spec); }
    std::unique_ptr<exfat_recovery_c> scan()
    {
        auto engine = std::make_unique<exfat_recovery_c>();
        engine->set_source(std::make_unique<memory_source_c>(image_->bytes()));
        engine->start();
        EXPECT_TRUE(engine->wait(120000));
        return engine;
    }
    static const exfat_record_s* find(const exfat_recovery_c& engine, const QString& name)
    {
        for (const auto& [key, record] : engine.findings())
            if (record.name == name)
                return &record;
        return nullptr;
    }
    QByteArray recover(exfat_recovery_c& engine, const exfat_record_s& record, std::int32_t* result = nullptr)
    {
        const QString path = dir_.filePath("copy.bin");
        const std::int32_t r = engine.recover_file(record.key, path);
        if (result != nullptr)
            *result = r;
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(not written)");
    }

    QTemporaryDir dir_;
    std::unique_ptr<exfat_image_c> image_;
    std::size_t slot_ = 0;
    std::uint32_t next_free_ = 0;
};

// How each deleted file is laid out, read and marked.
TEST_F(ExfatDamage, DeletedFilesAreReadAsTheirSetsLayThemOutAndGuessesAreMarked)
{
    const QByteArray whole = exfat_pattern(10000, 'a');
    put_root({u"whole.bin", 0x20, put_data(whole), 10000});
    // Fragmented, its FAT chain still there and its clusters free: read along the chain.
    const QByteArray frag = exfat_pattern(3 * cluster, 'f');
    const std::uint32_t f0 = next_free_;
    for (std::uint32_t i = 0; i < 3; ++i) {
        std::memcpy(image_->bytes().data() + image_->cluster_offset(f0 + 2 * i), frag.constData() + i * cluster, cluster);
        image_->set_fat(f0 + 2 * i, i < 2 ? f0 + 2 * i + 2 : 0xFFFFFFFFu);
    }
    next_free_ += 6;
    put_root({u"chained.bin", 0x20, f0, static_cast<std::uint64_t>(frag.size()), UINT64_MAX, false});
    // A chain whose clusters a live file has taken since, and one that loops: both guesses.
    const std::uint32_t taken = put_data(exfat_pattern(2 * cluster, 't'));
    image_->allocate(taken, 2, true);
    put_root({u"taken.bin", 0x20, taken, 2 * cluster, UINT64_MAX, false});
    const std::uint32_t loop = put_data(exfat_pattern(3 * cluster, 'l'));
    image_->set_fat(loop, loop + 1);
    image_->set_fat(loop + 1, loop);
    put_root({u"looped.bin", 0x20, loop, 3 * cluster, UINT64_MAX, false});
    // Written to 100 bytes of 5000: the rest reads as zeros, whatever the clusters hold.
    put_root({u"valid.bin", 0x20, put_data(exfat_pattern(5000, 'v')), 5000, 100});
    // Past the volume's last cluster.
    const std::uint32_t last = image_->cluster_count() + 1;
    std::memset(image_->bytes().data() + image_->cluster_offset(last), 'e', cluster);
    put_root({u"huge.bin", 0x20, last, 100ull << 20});
    // Two hours east of UTC, 1.5 s past the even second.
    put_root({u"zoned.txt", 0x20, 0, 0, UINT64_MAX, true, true, 0x58AF5A2Bu, 150, 0x80 | 8});

    const auto engine = scan();
    ASSERT_EQ(engine->get_failure(), scan_failure_e::none);
    const struct {
        const char* name;
        exfat_layout_e layout;
        QByteArray content;
        std::int32_t result;
    } expected[] = {
        {"whole.bin", exfat_layout_e::contiguous, whole, recovery_ok},
        {"chained.bin", exfat_layout_e::chain, frag, recovery_ok},
        // Its second cluster is in use: the guess passes over it to the next free one.
        {"taken.bin", exfat_layout_e::guessed, exfat_pattern(2 * cluster, 't').left(cluster) + exfat_pattern(3 * cluster, 'l').left(cluster),
         recovery_ok},
        {"looped.bin", exfat_layout_e::guessed, exfat_pattern(3 * cluster, 'l'), recovery_ok},
        {"valid.bin", exfat_layout_e::contiguous, exfat_pattern(100, 'v') + QByteArray(4900, '\0'), recovery_ok},
        {"huge.bin", exfat_layout_e::contiguous, QByteArray(cluster, 'e'), recovery_incomplete},
    };
    for (const auto& e : expected) {
        const exfat_record_s* r = find(*engine, e.name);
        ASSERT_NE(r, nullptr) << e.name;
        EXPECT_EQ(r->layout, e.layout) << e.name;
        EXPECT_TRUE(r->sound) << e.name;
        std::int32_t result = 0;
        EXPECT_EQ(recover(*engine, *r, &result), e.content) << e.name;
        EXPECT_EQ(result, e.result) << e.name;
    }
    const exfat_record_s* zoned = find(*engine, "zoned.txt");
    ASSERT_NE(zoned, nullptr);
    EXPECT_EQ(zoned->modified, 1715771842 + 1 - 2 * 3600); // 2024-05-15 11:17:23 at UTC+2
    EXPECT_EQ(recover(*engine, *zoned), QByteArray());
    // The tree shows which were guessed; they are written under their own names.
    recovery_rows rows;
    list_exfat_folder(engine->findings().at(0), rows, false);
    for (const recovery_item_s& row : rows) {
        const bool guessed = row.disk_name == "taken.bin" || row.disk_name == "looped.bin";
        EXPECT_EQ(row.name.startsWith('?'), guessed) << row.name.toStdString();
        EXPECT_EQ((row.attributes & exfat_row_uncertain) != 0, guessed);
        EXPECT_TRUE(row.attributes & exfat_row_deleted);
    }
}

// A set whose checksum fails is taken in part: whatever of it agrees, marked; one cut short by
// a set written over its tail keeps its file and stream entries, and the newer set is read as
// its own.
TEST_F(ExfatDamage, DamagedAndReusedSetsAreTakenForThePartsThatAgree)
{
    const QByteArray data = exfat_pattern(3000, 'd');
    const std::size_t flipped = slot_;
    put_root({u"flipped.txt", 0x20, put_data(data), 3000});
    image_->bytes()[image_->cluster_offset(image_->root_cluster()) + flipped * 32 + 12] ^= std::byte{0x01}; // a time bit
    // A deleted set of three name entries whose last two a live folder's set took.
    const std::size_t reused = slot_;
    put_root({u"a name long enough for three name entries.bin", 0x20, put_data(data), 3000});
    const std::uint32_t folder = next_free_++;
    image_->allocate(folder, 1, true);
    image_->put_set(image_->root_cluster(), reused + 3, {u"NewDir", 0x10, folder, cluster, UINT64_MAX, false, false});
    image_->put_set(folder, 0, {u"inside.txt", 0x20, put_data(data), 3000});

    const auto engine = scan();
    const exfat_record_s* flip = find(*engine, "flipped.txt");
    ASSERT_NE(flip, nullptr);
    EXPECT_FALSE(flip->sound);
    EXPECT_TRUE(flip->uncertain());
    EXPECT_EQ(recover(*engine, *flip), data); // the first cluster and size agreed with the rest
    const exfat_record_s* cut = find(*engine, "a name long eno");
    ASSERT_NE(cut, nullptr); // what its one name entry left holds
    EXPECT_FALSE(cut->sound);
    EXPECT_EQ(recover(*engine, *cut), data);
    const exfat_record_s* newer = find(*engine, "NewDir");
    ASSERT_NE(newer, nullptr);
    EXPECT_TRUE(newer->sound);
    ASSERT_NE(find(*engine, "inside.txt"), nullptr);
    EXPECT_EQ(find(*engine, "inside.txt")->parent, newer->key);
}

// Names are whatever the disk holds; written out, none leaves the target folder.
TEST_F(ExfatDamage, NamesThatWouldLeaveTheTargetAreWrittenInsideIt)
{
    const std::u16string names[] = {u"../../escape.txt", u"a/b.txt", u"..", u"ctl\u0001\u001b[2J.txt", u"/abs.txt"};
    for (const std::u16string& name : names)
        put_root({name, 0x20, put_data(exfat_pattern(100, 'n')), 100});
    const auto engine = scan();
    const auto tree = engine_entry(scanner_exfat)->build_tree(*engine, false);
    ASSERT_NE(tree, nullptr);
    const auto branch = list_branch(scanner_exfat, *engine, *tree->root().children[0], false);
    ASSERT_EQ(branch.size(), 1u);
    EXPECT_EQ(branch[0].rows.size(), std::size(names));
    const QString out = dir_.filePath("out/inner");
    EXPECT_EQ(extract_branch(*engine, scanner_exfat, branch, out), 0);
    int written = 0;
    for (QDirIterator it(dir_.filePath("out"), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext(); it.next())
        written += 1;
    EXPECT_EQ(written, static_cast<int>(std::size(names)));
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), static_cast<qsizetype>(std::size(names)));
    EXPECT_FALSE(QFile::exists(dir_.filePath("escape.txt")));
    QString live;
    EXPECT_LT(engine->get_file_path(branch[0].rows[0].id, live), 0); // no live path through ".."
}

// Damage to the boot region, the up-case table and the bitmap: the scan goes on with what is
// sound, or says why it cannot.
TEST_F(ExfatDamage, DamagedBootRegionsAndSystemFilesAreHandled)
{
    const QByteArray data = exfat_pattern(6000, 'b');
    put_root({u"Ünïcode-näme.bin", 0x20, put_data(data), 6000});
    const std::vector<std::byte> base = image_->bytes();
    const std::size_t root = image_->cluster_offset(image_->root_cluster());
    const int upcase = image_->root_slot(0x82);
    const int bitmap = image_->root_slot(0x81);
    ASSERT_GE(upcase, 0);
    ASSERT_GE(bitmap, 0);
    const struct {
        const char* name;
        std::function<void(std::vector<std::byte>&)> damage;
        scan_failure_e failure;
        bool from_backup, upcase_sound;
    } cases[] = {
        {"main boot sector zeroed", [](auto& b) { std::fill_n(b.begin(), 512, std::byte{0}); }, scan_failure_e::none, true, true},
        {"main checksum wrong", [](auto& b) { b[400] ^= std::byte{0xFF}; }, scan_failure_e::none, true, true},
        {"both regions zeroed", [](auto& b) { std::fill_n(b.begin(), 24 * 512, std::byte{0}); }, scan_failure_e::no_file_system, false, true},
        {"both name too many clusters",
         [](auto& b) {
             for (std::size_t at : {92u, 12 * 512u + 92})
                 store_le32(b, at, 0x7FFFFFFF);
         },
         scan_failure_e::damaged, false, true},
        {"up-case table gone", [&](auto& b) { b[root + upcase * 32] = std::byte{0x02}; }, scan_failure_e::none, false, false},
        {"up-case table short", [&](auto& b) { store_le64(b, root + upcase * 32 + 24, 100); }, scan_failure_e::none, false, false},
        {"bitmap gone", [&](auto& b) { b[root + bitmap * 32] = std::byte{0x01}; }, scan_failure_e::none, false, true},
    };
    for (const auto& c : cases) {
        image_->bytes() = base;
        c.damage(image_->bytes());
        const auto engine = scan();
        EXPECT_EQ(engine->get_failure(), c.failure) << c.name;
        if (c.failure != scan_failure_e::none)
            continue;
        EXPECT_EQ(engine->layout().from_backup, c.from_backup) << c.name;
        EXPECT_EQ(engine->metadata().upcase->from_volume(), c.upcase_sound) << c.name;
        const exfat_record_s* r = find(*engine, QString::fromUtf16(u"Ünïcode-näme.bin"));
        ASSERT_NE(r, nullptr) << c.name;
        EXPECT_TRUE(r->sound) << c.name; // the stand-in maps these letters as the table does
        EXPECT_EQ(recover(*engine, *r), data) << c.name;
    }
}

// Folders: one whose chain loops, one cut at its end in the middle of a set, a deleted one whose
// cluster a live folder took since; and a folder of 100,000 deleted sets.
TEST_F(ExfatDamage, FoldersThatLoopOrEndInASetOrWereTakenAreReadOnce)
{
    // A live folder of three clusters whose chain goes 1 -> 2 -> 1.
    const std::uint32_t looped = next_free_;
    next_free_ += 2;
    image_->allocate(looped, 2, true);
    image_->set_fat(looped + 1, looped);
    put_root({u"Looped", 0x10, looped, 3 * cluster, UINT64_MAX, false, false});
    image_->put_set(looped, 0, {u"in-loop.txt", 0x20, put_data(exfat_pattern(50, 'i')), 50});
    // A deleted folder of one cluster whose last two slots begin a set its next cluster would end.
    // The cluster after it takes the set's name entry, which the folder's read never reaches.
    const std::uint32_t cut = next_free_;
    next_free_ += 2;
    put_root({u"Cut", 0x10, cut, cluster, UINT64_MAX, true});
    image_->put_set(cut, 0, {u"before.txt", 0x20, put_data(exfat_pattern(70, 'c')), 70});
    for (std::size_t slot = 3; slot + 2 < cluster / 32; slot += 3) // empty files up to the last two slots
        image_->put_set(cut, slot, {u"e" + QString::number(slot).toStdU16String(), 0x20, 0, 0});
    image_->put_set(cut, cluster / 32 - 2, {u"split over the end.txt", 0x20, put_data(exfat_pattern(90, 's')), 90});
    // A deleted folder whose cluster the live folder "Taker" holds now.
    const std::uint32_t shared = next_free_++;
    image_->allocate(shared, 1, true);
    put_root({u"Gone", 0x10, shared, cluster, UINT64_MAX, false});
    put_root({u"Taker", 0x10, shared, cluster, UINT64_MAX, false, false});
    image_->put_set(shared, 0, {u"taker-file.txt", 0x20, put_data(exfat_pattern(40, 't')), 40});

    const auto engine = scan();
    ASSERT_EQ(engine->get_failure(), scan_failure_e::none);
    ASSERT_NE(find(*engine, "in-loop.txt"), nullptr);
    ASSERT_NE(find(*engine, "before.txt"), nullptr);
    const exfat_record_s* split = nullptr;
    for (const auto& [key, r] : engine->findings())
        if (r.name.startsWith("unnamed_"))
            split = &r;
    ASSERT_NE(split, nullptr); // its name entries lie past the folder's end: taken in part
    EXPECT_TRUE(split->uncertain());
    EXPECT_EQ(recover(*engine, *split), exfat_pattern(90, 's'));
    const exfat_record_s* taker_file = find(*engine, "taker-file.txt");
    ASSERT_NE(taker_file, nullptr);
    EXPECT_EQ(engine->findings().at(taker_file->parent).name, "Taker");
}

TEST_F(ExfatDamage, AFolderOfAHundredThousandDeletedSetsIsReadWhole)
{
    make(32 << 20);
    constexpr std::uint32_t sets = 100000;
    const std::uint32_t clusters = (sets * 3 * 32 + cluster - 1) / cluster;
    const std::uint32_t folder = next_free_;
    image_->allocate(folder, clusters, true);
    put_root({u"Many", 0x10, folder, std::uint64_t{clusters} * cluster, UINT64_MAX, false, false});
    for (std::uint32_t i = 0; i < sets; ++i) {
        const std::u16string name = QStringLiteral("f%1").arg(i, 6, 10, QLatin1Char('0')).toStdU16String();
        image_->put_set(folder + i * 3 / (cluster / 32), i * 3 % (cluster / 32), {name, 0x20, 0, 0});
    }
    const auto engine = scan();
    ASSERT_NE(find(*engine, "Many"), nullptr);
    EXPECT_EQ(find(*engine, "Many")->children.size(), sets);
    EXPECT_EQ(engine->get_found_count(), sets + 1);
}

} // namespace
