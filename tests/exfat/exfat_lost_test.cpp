// The exFAT engine's search for lost files on volumes mkfs.exfat made and then edited by hand:
// an earlier file system's folders left in free clusters, their tree rebuilt from the folders'
// own entries, files the bitmap in place took marked, and crafted sets (bad checksums, names
// that try to leave the target folder, sizes past the volume, folders that hold each other)
// that must end in plain findings or nothing.

#include "platform/memory_source.h"
#include "recovery/engine_table.h"
#include "recovery/tree_extraction.h"
#include "scan/exfat_recovery.h"
#include "tests/exfat/exfat_volume.h"
#include "tests/support/failing_source.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <memory>

using namespace tarn;
using namespace tarn::test;

namespace {

constexpr std::uint32_t cluster = 4096;

class ExfatLost : public ::testing::Test {
protected:
    void SetUp() override
    {
        image_ = std::make_unique<exfat_image_c>(dir_.path(), 8 << 20);
        ASSERT_FALSE(image_->bytes().empty());
        next_free_ = image_->free_cluster(2);
    }
    std::uint32_t take_cluster() { return next_free_++; }
    // Puts content at the next free clusters, one after another; returns the first.
    std::uint32_t put_data(const QByteArray& content)
    {
        const std::uint32_t first = next_free_;
        std::memcpy(image_->bytes().data() + image_->cluster_offset(first), content.constData(), content.size());
        next_free_ += (content.size() + cluster - 1) / cluster;
        return first;
    }
    // A set in a free cluster, as an earlier file system left it (in use unless deleted).
    std::size_t put(std::uint32_t c, std::size_t slot, exfat_set_spec_s spec, bool deleted = false)
    {
        spec.deleted = deleted;
        return image_->put_set(c, slot, spec);
    }
    std::unique_ptr<exfat_recovery_c> scan(bool lost = true)
    {
        auto engine = std::make_unique<exfat_recovery_c>();
        engine->set_source(std::make_unique<memory_source_c>(image_->bytes()));
        engine->set_lost_search(lost);
        engine->start();
        EXPECT_TRUE(engine->wait(120000));
        EXPECT_EQ(engine->get_failure(), scan_failure_e::none);
        return engine;
    }
    // Every listed file by its path from its top folder, as the command line lists them.
    static std::map<QString, recovery_item_s> rows(const exfat_recovery_c& engine)
    {
        std::map<QString, recovery_item_s> out;
        const std::unique_ptr<TreeModel> tree = engine_entry(scanner_exfat)->build_tree(engine, false);
        if (!tree)
            return out;
        for (const auto& top : tree->root().children) {
            const std::vector<branch_folder_s> branch = list_branch(scanner_exfat, engine, *top, false);
            for (std::size_t i = 0; i < branch.size(); ++i)
                for (const recovery_item_s& row : branch[i].rows)
                    out[(QStringList{top->name} + branch_path(branch, static_cast<int>(i)) + QStringList{row.name}).join('/')] = row;
        }
        return out;
    }
    QByteArray recover(exfat_recovery_c& engine, const recovery_item_s& row, std::int32_t* result = nullptr)
    {
        const QString path = dir_.filePath("copy.bin");
        const std::int32_t r = engine.recover_file(row.id, path);
        if (result != nullptr)
            *result = r;
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(not written)");
    }

    QTemporaryDir dir_;
    std::unique_ptr<exfat_image_c> image_;
    std::uint32_t next_free_ = 0;
};

// An old root's second cluster (its first went with the format) names "Outer"; Outer holds a
// file, a deleted file and "Sub", which holds one more; a folder whose entry is gone altogether
// is named by its cluster. A file whose cluster the new file system took is marked.
TEST_F(ExfatLost, FoldersAreRebuiltFromTheirEntriesAndTakenFilesAreMarked)
{
    const std::uint32_t old_root = take_cluster(), outer = take_cluster(), sub = take_cluster(), nameless = take_cluster();
    const QByteArray inner = exfat_pattern(10000, 'i'), gone = exfat_pattern(3000, 'g'), deep = exfat_pattern(5000, 'd'), loose = exfat_pattern(100, 'l');
    const QByteArray taken = exfat_pattern(2 * cluster, 't');
    const std::uint32_t taken_at = put_data(taken);
    std::size_t slot = put(old_root, 0, {u"Outer", 0x10, outer, cluster});
    slot += put(old_root, slot, {u"taken over.bin", 0x20, taken_at, static_cast<std::uint64_t>(taken.size())});
    slot = put(outer, 0, {u"inner ünïcode.txt", 0x20, put_data(inner), 10000});
    slot += put(outer, slot, {u"was deleted.txt", 0x20, put_data(gone), 3000}, true);
    put(outer, slot, {u"Sub", 0x10, sub, cluster});
    put(sub, 0, {u"deep.txt", 0x20, put_data(deep), 5000});
    put(nameless, 0, {u"loose.txt", 0x20, put_data(loose), 100});
    // The new file system's data now lies in the taken file's second cluster.
    image_->allocate(taken_at + 1, 1, true);
    std::memset(image_->bytes().data() + image_->cluster_offset(taken_at + 1), 'N', cluster);
    const auto engine_off = scan(false);
    EXPECT_TRUE(rows(*engine_off).empty()) << "without the search nothing of the old file system is listed";

    const auto engine = scan();
    const std::map<QString, recovery_item_s> listed = rows(*engine);
    const QString top = engine_entry(scanner_exfat)->build_tree(*engine, false)->root().children.front()->name;
    const QString r = top + QStringLiteral("/#%1").arg(old_root, 8, 10, QLatin1Char('0'));
    const QString n = top + QStringLiteral("/#%1").arg(nameless, 8, 10, QLatin1Char('0'));
    const std::map<QString, QByteArray> expected = {
        {r + "/Outer/inner ünïcode.txt", inner}, {r + "/Outer/was deleted.txt", gone}, {r + "/Outer/Sub/deep.txt", deep},
        {n + "/loose.txt", loose},            {r + "/taken over.bin", taken}};
    ASSERT_EQ(listed.size(), expected.size());
    for (const auto& [path, content] : expected) {
        const auto row = listed.find(path);
        ASSERT_NE(row, listed.end()) << path.toStdString();
        QString live;
        EXPECT_NE(engine->get_file_path(row->second.id, live), 0) << "a lost file has no path on the volume in place";
        // A marked file holds new bytes; every other one is the original.
        EXPECT_EQ(recover(*engine, row->second) == content, !row->second.overwritten) << path.toStdString();
    }
    EXPECT_TRUE(listed.at(r + "/taken over.bin").overwritten);
    // A deep scan names a hit where a lost file's data started.
    const raw_known_names starts = engine_entry(scanner_exfat)->known_starts(*engine);
    EXPECT_EQ(starts.at(image_->cluster_offset(taken_at)), "taken over.bin");
}

// Crafted sets in free clusters: each ends in a plain finding or none, and the scan ends.
TEST_F(ExfatLost, CraftedSetsEndInPlainFindingsOrNone)
{
    const std::uint32_t a = take_cluster(), b = take_cluster(), self = take_cluster(), odd = take_cluster(), used = take_cluster();
    // Folders that hold each other, and one that holds itself.
    std::size_t slot = put(a, 0, {u"B", 0x10, b, cluster});
    put(a, slot, {u"in a.txt", 0x20, put_data(exfat_pattern(100, 'a')), 100});
    slot = put(b, 0, {u"A", 0x10, a, cluster});
    put(b, slot, {u"in b.txt", 0x20, put_data(exfat_pattern(100, 'b')), 100});
    slot = put(self, 0, {u"Itself", 0x10, self, 1ull << 62});
    put(self, slot, {u"in self.txt", 0x20, put_data(exfat_pattern(100, 's')), 100});
    // A name that tries to leave the target folder, a set whose checksum fails, a file larger
    // than the volume, and a set in a cluster the file system in place uses.
    const std::uint32_t escape_at = put_data(exfat_pattern(50, 'e'));
    slot = put(odd, 0, {u"../escape.txt", 0x20, escape_at, 50});
    const std::size_t bad = slot;
    slot += put(odd, slot, {u"bad checksum.txt", 0x20, escape_at, 50});
    image_->bytes()[image_->cluster_offset(odd) + bad * 32 + 64 + 2] ^= std::byte{1};
    const std::uint32_t huge_at = put_data(exfat_pattern(cluster, 'h'));
    put(odd, slot, {u"huge.bin", 0x20, huge_at, 1ull << 40});
    put(used, 0, {u"new data.txt", 0x20, escape_at, 50});
    image_->allocate(used, 1, true);

    const auto engine = scan();
    std::map<QString, recovery_item_s> by_name;
    for (const auto& [path, row] : rows(*engine))
        by_name[row.name] = row;
    EXPECT_EQ(by_name.size(), 5u);
    for (const char* name : {"in a.txt", "in b.txt", "in self.txt", "../escape.txt", "huge.bin"})
        EXPECT_TRUE(by_name.contains(name)) << name;
    // What the volume holds from the huge file's first cluster is written, and the copy says it
    // is short.
    std::int32_t result = 0;
    const QByteArray copy = recover(*engine, by_name.at("huge.bin"), &result);
    EXPECT_EQ(result, recovery_incomplete);
    EXPECT_EQ(static_cast<std::uint64_t>(copy.size()), engine->layout().heap_bytes_from(huge_at));
    EXPECT_TRUE(copy.startsWith(exfat_pattern(cluster, 'h')));

    // Everything is written inside the target, the escaping name as a plain name.
    const std::unique_ptr<TreeModel> tree = engine_entry(scanner_exfat)->build_tree(*engine, false);
    ASSERT_NE(tree, nullptr);
    const QString out = dir_.filePath("out/inner");
    for (const auto& top : tree->root().children)
        extract_branch(*engine, scanner_exfat, list_branch(scanner_exfat, *engine, *top, false), out);
    EXPECT_FALSE(QFile::exists(dir_.filePath("out/escape.txt")));
    int written = 0;
    for (QDirIterator it(dir_.filePath("out"), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString file = it.next();
        EXPECT_TRUE(file.startsWith(out + "/")) << file.toStdString();
        written += file.endsWith("escape.txt") ? 1 : 0;
    }
    EXPECT_EQ(written, 1);
}

// Many sets over many clusters: every one is found, once.
TEST_F(ExfatLost, EverySetOfAFullVolumeIsFoundOnce)
{
    const std::uint32_t first = next_free_;
    std::size_t sets = 0;
    for (std::uint32_t c = first; c < first + 600; ++c)
        for (std::size_t slot = 0; slot + 3 <= cluster / 32;) {
            const std::u16string name = u"f" + std::u16string(QString::number(sets).toStdU16String());
            slot += put(c, slot, {name, 0x20, 0, 0});
            ++sets;
        }
    const auto engine = scan();
    EXPECT_EQ(rows(*engine).size(), sets);
    EXPECT_EQ(engine->lost_stats().sets, sets);
}

// A bad cluster hides its own sets only: the block around it is read cluster by cluster.
TEST_F(ExfatLost, AnUnreadableClusterHidesOnlyItsOwnSets)
{
    const std::uint32_t before = take_cluster(), bad = take_cluster(), after = take_cluster();
    for (const std::uint32_t c : {before, bad, after})
        put(c, 0, {u"in " + QString::number(c).toStdU16String(), 0x20, 0, 0});
    auto plan = std::make_shared<failure_plan_s>();
    plan->ranges.push_back({image_->cluster_offset(bad) + 512, 512});
    exfat_recovery_c engine;
    engine.set_source(std::make_unique<failing_source_c>(std::make_unique<memory_source_c>(image_->bytes()), plan));
    engine.set_lost_search(true);
    engine.start();
    ASSERT_TRUE(engine.wait(120000));
    std::set<QString> names;
    for (const auto& [path, row] : rows(engine))
        names.insert(row.name);
    EXPECT_EQ(names, (std::set<QString>{"in " + QString::number(before), "in " + QString::number(after)}));
    EXPECT_EQ(engine.lost_stats().unreadable_clusters, 1u);
}

// A folder whose second cluster lies apart from its first, a set split between them: the set is
// whole again and the second cluster's files are the folder's.
TEST_F(ExfatLost, AFolderSplitAcrossClustersApartIsOneFolder)
{
    const std::uint32_t old_root = take_cluster(), first = take_cluster(), between = take_cluster(), second = take_cluster();
    put(old_root, 0, {u"Split", 0x10, first, 2 * cluster});
    std::size_t slot = 0;
    int files = 0;
    const auto name = [&files] { return u"file " + QString::number(files++).toStdU16String(); };
    while (slot < cluster / 32)
        slot += put(first, slot, {name(), 0x20, 0, 0});
    // The last set ran on into the cluster after; it goes on in the second one instead.
    const std::size_t spill = (slot - cluster / 32) * 32;
    std::byte* bytes = image_->bytes().data();
    std::memcpy(bytes + image_->cluster_offset(second), bytes + image_->cluster_offset(between), spill);
    std::memset(bytes + image_->cluster_offset(between), 'x', cluster);
    for (slot = spill / 32; slot + 3 <= 10;)
        slot += put(second, slot, {name(), 0x20, 0, 0});

    const auto engine = scan();
    const std::map<QString, recovery_item_s> listed = rows(*engine);
    EXPECT_EQ(listed.size(), static_cast<std::size_t>(files));
    const QString folder = QStringLiteral("/#%1/Split/").arg(old_root, 8, 10, QLatin1Char('0'));
    for (const auto& [path, row] : listed)
        EXPECT_TRUE(path.contains(folder)) << path.toStdString();
}

} // namespace
