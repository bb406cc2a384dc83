// The FAT scanner on hand-made volumes: how findings with one start cluster are resolved,
// damaged directory trees, extraction, pause and stop.

#include "recovery/fat_tree.h"
#include "recovery/file_extraction.h"
#include "recovery/tree_builder.h"
#include "scan/fat_date.h"
#include "scan/fat_recovery.h"
#include "scan/recovery_item.h"
#include "scan/recovery_stop.h"
#include "tests/fat/fat_fixture.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <set>
#include <thread>

using namespace tarn;
using namespace tarn::test;

namespace {

constexpr std::uint16_t early = 0x5821; // 2024-01-01
constexpr std::uint16_t late = 0x5822;  // 2024-01-02

class FatEngine : public fat_fixture_c {
protected:
    void SetUp() override { qputenv("TZ", "UTC"); }
    int scan(fat_builder_c& image)
    {
        if (use_image(image) != 1)
            return -1;
        volume_item_s volume;
        volume.volume_path = path(QStringLiteral("disk0.img")) + QLatin1Char('\\');
        volume.mount_path = QStringLiteral("/mnt/v/");
        volume.fs_name = QStringLiteral("FAT16");
        engine_.set_volume(volume);
        engine_.start();
        return engine_.wait(60000) ? 0 : -1;
    }
    const fat_record_s* find(std::uint32_t cluster) const
    {
        const auto it = engine_.findings().find(cluster);
        return it == engine_.findings().end() ? nullptr : &it->second;
    }
    fat_entry_s deleted_file(const char* name, std::uint32_t cluster, std::uint16_t created)
    {
        return {name, 0x20, cluster, 1000, early, 0x5000, created, 0x5000};
    }
    fat_recovery_c engine_;
};

TEST_F(FatEngine, FindingsWithOneStartClusterAreResolved)
{
    fat_builder_c image(5000, 1);
    std::uint32_t i = 0;
    image.put_entry(0, i++, deleted_file("\xE5" "A      TXT", 50, late));          // rule 1 keeps this one
    image.put_entry(0, i++, {"\xE5" "DELDIR     ", 0x10, 10, 0, early, 0, early, 0});
    image.put_entry(10, 0, deleted_file("\xE5" "INSIDE TXT", 50, 0x5830));        // newer, but inside
    image.put_entry(0, i++, deleted_file("\xE5" "B      TXT", 60, early));
    image.put_entry(0, i++, deleted_file("\xE5" "C      TXT", 60, late));          // rule 2: newer wins
    image.put_entry(0, i++, deleted_file("\xE5" "D      TXT", 61, late));
    image.put_entry(0, i++, deleted_file("\xE5" "E      TXT", 61, early));         // rule 2: older dropped
    image.put_entry(0, i++, {"LIVE       ", 0x10, 20, 0, early, 0, early, 0});
    image.put_entry(0, i++, {"\xE5" "ELDIR2    ", 0x10, 20, 0, early, 0, late, 0}); // rule 4: dropped
    image.put_entry(0, i++, deleted_file("\xE5" "F      TXT", 70, early));
    image.put_entry(0, i++, {"\xE5" "ELDIR3    ", 0x10, 70, 0, early, 0, late, 0}); // rule 5: replaces
    image.put_entry(0, i++, deleted_file("\xE5" "G      TXT", 80, late));
    image.put_entry(0, i++, {"LIVE2      ", 0x10, 80, 0, early, 0, early, 0});     // rule 6: replaces
    image.put_entry(0, i++, {"\xE5" "FAR       ", 0x10, 9000, 0, early, 0, early, 0}); // beyond the volume
    image.put_entry(0, i++, {"EMPTY   TXT", 0x20, 0, 0});                          // live, skipped
    image.put_entry(0, i++, {"\xE5" "ERO    TXT", 0x20, 0, 0});                    // start cluster 0
    ASSERT_EQ(scan(image), 0);

    ASSERT_NE(find(50), nullptr);
    EXPECT_EQ(find(50)->name, "#A.TXT");
    EXPECT_EQ(find(50)->parent_cluster, 0u);
    EXPECT_EQ(find(60)->name, "#C.TXT");
    EXPECT_EQ(find(61)->name, "#D.TXT");
    EXPECT_EQ(find(20)->name, "LIVE");
    EXPECT_EQ(find(20)->attributes, 0x10);
    EXPECT_EQ(find(70)->name, "#ELDIR3");
    EXPECT_EQ(find(80)->name, "LIVE2");
    ASSERT_NE(find(9000), nullptr);
    EXPECT_TRUE(find(9000)->children.empty());
    EXPECT_EQ(engine_.get_found_count(), 8); // 50, 10, 60, 61, 20, 70, 80, 9000 and nothing else
    EXPECT_EQ(engine_.findings().size(), 9u); // ... plus the root record
    EXPECT_EQ(find(0)->attributes, fat_attr_directory);
    EXPECT_EQ(find(0)->has_files, 1);
    EXPECT_EQ(find(10)->has_files, 0); // its one file was dropped
    const auto stamp = find(61);
    EXPECT_EQ(stamp->created, 1704189600);  // 2024-01-02 10:00:00 UTC
    EXPECT_EQ(stamp->modified, 1704103200); // 2024-01-01 10:00:00 UTC
}

TEST_F(FatEngine, DeletedDirectoryMarksEverythingBelowIt)
{
    fat_builder_c image(5000, 1);
    image.put_entry(0, 0, {"\xE5" "OLD       ", 0x10, 10});
    image.put_entry(10, 0, {"LIVEDIR    ", 0x10, 11});
    image.put_entry(10, 1, {"LIVE    TXT", 0x20, 12, 5}); // live file in a deleted folder: skipped
    image.put_entry(11, 0, {"\xE5" "ONE    TXT", 0x20, 13, 5});
    image.put_entry(11, 1, {"KEPT    TXT", 0x20, 14, 5});
    ASSERT_EQ(scan(image), 0);
    ASSERT_NE(find(11), nullptr);
    EXPECT_EQ(find(11)->name, "#IVEDIR");
    EXPECT_EQ(find(11)->attributes, 0x10 | 0x40);
    EXPECT_EQ(find(11)->in_deleted_dir, 1);
    EXPECT_NE(find(13), nullptr);
    EXPECT_EQ(find(12), nullptr);
    EXPECT_EQ(find(14), nullptr);
    EXPECT_EQ(find(10)->has_files, 1);
    EXPECT_EQ(find(11)->has_files, 1);
    QString live;
    ASSERT_EQ(engine_.get_file_path(13, live), 0);
    EXPECT_EQ(live, "/mnt/v/#OLD/#IVEDIR/#ONE.TXT");
    EXPECT_EQ(engine_.get_file_path(99, live), -1);
}

TEST_F(FatEngine, DirectoryCyclesEndAndStayOutOfTheTree)
{
    fat_builder_c image(5000, 1);
    image.put_entry(0, 0, {"SELF       ", 0x10, 30});
    image.put_entry(30, 0, {"BACK       ", 0x10, 30});
    image.put_entry(0, 1, {"PING       ", 0x10, 40});
    image.put_entry(40, 0, {"PONG       ", 0x10, 41});
    image.put_entry(41, 0, {"PING2      ", 0x10, 40});
    image.put_entry(41, 1, {"\xE5" "ILE    TXT", 0x20, 42, 5});
    image.put_entry(0, 2, {"\xE5" "OOT    TXT", 0x20, 43, 5});
    // The folders' FAT chains are whole: a live folder whose cluster the FAT calls free is read as
    // a damaged one instead.
    for (std::uint32_t c : {30u, 40u, 41u})
        image.set_fat(c, 0xFFFF);
    ASSERT_EQ(scan(image), 0);
    // Every record reachable from the root is reached once.
    std::set<const fat_record_s*> seen;
    std::vector<const fat_record_s*> todo{find(0)};
    while (!todo.empty()) {
        const fat_record_s* r = todo.back();
        todo.pop_back();
        ASSERT_TRUE(seen.insert(r).second) << r->name.toStdString();
        for (const fat_record_s* c : r->children)
            todo.push_back(c);
    }
    EXPECT_TRUE(seen.count(find(43)));
    EXPECT_FALSE(seen.count(find(30)));
    EXPECT_FALSE(seen.count(find(42)));
}

TEST_F(FatEngine, RecoverFileReadsFollowingClustersWhateverTheFatSays)
{
    fat_builder_c image(5000, 8);
    for (std::uint32_t c = 7; c <= 10; ++c)
        image.fill_cluster(c, static_cast<std::byte>(c));
    image.set_fat(7, 500);
    image.put_entry(0, 0, {"\xE5" "IG     BIN", 0x20, 7, 10000});
    image.put_entry(0, 1, {"\xE5" "AST    BIN", 0x20, 5001, 10000}); // runs off the volume
    ASSERT_EQ(scan(image), 0);
    const QString out = path("out.bin");
    ASSERT_EQ(engine_.recover_file(7, out), 0);
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    ASSERT_EQ(data.size(), 10000);
    EXPECT_EQ(data.at(0), 7);
    EXPECT_EQ(data.at(4096), 8);
    EXPECT_EQ(data.at(9999), 9);
    EXPECT_EQ(engine_.recover_file(5001, path("short.bin")), recovery_incomplete);
    EXPECT_EQ(QFile(path("short.bin")).size(), 4096);
    EXPECT_EQ(engine_.recover_file(12345, path("none.bin")), recovery_not_found);
    EXPECT_FALSE(QFile::exists(path("none.bin")));
    EXPECT_EQ(engine_.recover_file(7, path("no/such/folder/x.bin")), recovery_unwritable);
}

TEST_F(FatEngine, UnreadableVolumeLeavesOnlyTheRoot)
{
    fat_builder_c image(5000, 1);
    image.bytes()[510] = std::byte{0};
    ASSERT_EQ(scan(image), 0);
    EXPECT_EQ(engine_.findings().size(), 1u);
    EXPECT_EQ(engine_.get_found_count(), 0);
    // A volume path that names nothing must not fall back to the previous scan's volume.
    fat_builder_c good(5000, 1);
    good.put_entry(0, 0, {"\xE5" "ILE    TXT", 0x20, 5, 5});
    ASSERT_EQ(scan(good), 0);
    EXPECT_EQ(engine_.get_found_count(), 1);
    volume_item_s gone;
    gone.volume_path = path("gone.img");
    engine_.set_volume(gone);
    engine_.start();
    ASSERT_TRUE(engine_.wait(60000));
    EXPECT_EQ(engine_.findings().size(), 1u);
}

TEST_F(FatEngine, StopRequestedBeforeTheThreadRunsIsKept)
{
    fat_builder_c image(5000, 1);
    for (std::uint32_t k = 0; k < 16; ++k)
        image.put_entry(0, k, deleted_file("\xE5" "ILE    BIN", 100 + k, early));
    ASSERT_EQ(use_image(image), 1);
    volume_item_s volume;
    volume.volume_path = path(QStringLiteral("disk0.img"));
    engine_.reset();
    engine_.set_volume(volume);
    engine_.set_stop(stop_keep); // pressed before the thread got going
    engine_.start();
    ASSERT_TRUE(engine_.wait(60000));
    EXPECT_EQ(engine_.get_read_count(), 0);
    EXPECT_EQ(engine_.get_stop(), stop_keep);
    engine_.reset();
    EXPECT_EQ(engine_.get_stop(), stop_none);
}

TEST_F(FatEngine, PauseResumeAndStopKeepTheFindings)
{
    // A FAT32 root of 200 contiguous clusters, 8 sectors each: 25,600 deleted files.
    fat_builder_c image(70000, 8);
    constexpr std::uint32_t dir_clusters = 200;
    for (std::uint32_t c = 2; c < 2 + dir_clusters; ++c)
        image.set_fat(c, c + 1 < 2 + dir_clusters ? c + 1 : 0x0FFFFFFF);
    for (std::uint32_t k = 0; k < dir_clusters * 128; ++k)
        image.put_entry(0, k, deleted_file("\xE5" "ILE    BIN", 1000 + k, early));
    ASSERT_EQ(use_image(image), 1);
    volume_item_s volume;
    volume.volume_path = path(QStringLiteral("disk0.img"));
    engine_.set_volume(volume);
    engine_.start();
    while (engine_.get_read_count() == 0 && engine_.isRunning())
        std::this_thread::yield();
    engine_.set_pause(1);
    // Wait until the count stands still: the engine sits in its paused wait.
    std::int64_t last = -1;
    while (engine_.get_read_count() != last) {
        last = engine_.get_read_count();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    ASSERT_TRUE(engine_.isRunning());
    EXPECT_EQ(engine_.get_pause(), 1);
    engine_.set_pause(0);
    while (engine_.get_read_count() == last && engine_.isRunning())
        std::this_thread::yield();
    engine_.set_pause(1);
    engine_.set_stop(stop_keep); // a stop while paused ends the scan
    ASSERT_TRUE(engine_.wait(10000));
    EXPECT_EQ(engine_.get_stop(), stop_keep);
    EXPECT_GT(engine_.get_found_count(), 0);
    EXPECT_LT(engine_.get_found_count(), dir_clusters * 128);
    EXPECT_EQ(engine_.findings().size(), static_cast<std::size_t>(engine_.get_found_count()) + 1);
    EXPECT_EQ(engine_.findings().at(0).children.size(), static_cast<std::size_t>(engine_.get_found_count()));
    engine_.reset();
    EXPECT_EQ(engine_.get_progress(), 0.0);
    EXPECT_EQ(engine_.get_pause(), 0);
    EXPECT_EQ(engine_.get_stop(), 0);
    EXPECT_EQ(engine_.get_read_count(), 0);
    EXPECT_EQ(engine_.get_found_count(), 0);
    EXPECT_TRUE(engine_.findings().empty());
}

// A deleted file of 100 bytes at data cluster `data`, in slot `slot` of folder cluster `at`.
void put_file(fat_builder_c& image, std::uint32_t at, std::uint32_t slot, std::uint32_t data)
{
    char name[12];
    std::snprintf(name, sizeof name, "\xE5" "F%05u BIN", data);
    image.put_entry(at, slot, {std::string_view(name, 11), 0x20, data, 100});
}

// A folder's first cluster: "." and "..", then `files` files from data cluster `data` on.
void put_folder(fat_builder_c& image, std::uint32_t at, std::uint32_t parent, std::uint32_t files, std::uint32_t data)
{
    image.put_entry(at, 0, {".          ", 0x10, at});
    image.put_entry(at, 1, {"..         ", 0x10, parent});
    for (std::uint32_t k = 0; k < files; ++k)
        put_file(image, at, 2 + k, data + k);
}

std::size_t files_in(const fat_record_s* folder)
{
    return folder == nullptr ? 0
                             : static_cast<std::size_t>(std::count_if(folder->children.begin(), folder->children.end(),
                                   [](const fat_record_s* r) { return !(r->attributes & fat_attr_directory); }));
}

TEST_F(FatEngine, DeletedFolderReadsOnIntoFollowingClustersUntilAStopRule)
{
    // A deleted folder of 100 (full) and 101 (full): 30 files; what follows decides the rest.
    const struct {
        const char* label;
        std::function<void(fat_builder_c&)> next;
        std::size_t files;
    } cases[] = {
        {"a never-used entry", [](fat_builder_c& b) {
             for (std::uint32_t k = 0; k < 3; ++k)
                 put_file(b, 102, k, 1100 + k);
             put_file(b, 103, 0, 1200); // past the end: no folder's
         }, 33},
        {"a cluster the FAT gives to something else", [](fat_builder_c& b) {
             for (std::uint32_t k = 0; k < 16; ++k)
                 put_file(b, 102, k, 1100 + k);
             b.set_fat(102, 0xFFFF);
         }, 30},
        {"file data", [](fat_builder_c& b) { b.fill_cluster(102, std::byte{0x41}); }, 30},
        {"a never-used cluster", [](fat_builder_c&) {}, 30},
        {"another folder's start", [](fat_builder_c& b) { put_folder(b, 102, 0, 2, 1100); }, 30},
        {"a cluster another folder read first", [](fat_builder_c& b) {
             b.put_entry(0, 0, {"\xE5" "THER      ", 0x10, 102});
             b.put_entry(0, 1, {"\xE5" "OLDER     ", 0x10, 100});
             put_file(b, 102, 0, 1100);
             put_file(b, 102, 1, 1101);
         }, 30},
    };
    for (const auto& c : cases) {
        fat_builder_c image(5000, 1);
        image.put_entry(0, 0, {"\xE5" "OLDER     ", 0x10, 100});
        put_folder(image, 100, 0, 14, 1000);
        for (std::uint32_t k = 0; k < 16; ++k)
            put_file(image, 101, k, 1014 + k);
        c.next(image);
        ASSERT_EQ(scan(image), 0) << c.label;
        EXPECT_EQ(files_in(find(100)), c.files) << c.label;
        EXPECT_EQ(engine_.findings().size(), 1 + 1 + (c.files == 33 ? 34 : 30) + (find(102) ? 1 + files_in(find(102)) : 0))
            << c.label; // nothing found twice, nothing made up
    }
    // Past the end the entries have no folder; another folder's start is a folder of its own.
    EXPECT_EQ(find(102)->name, "#THER");
}

TEST_F(FatEngine, UnreachedFolderClustersJoinTheFolderTheyContinue)
{
    fat_builder_c image(5000, 1);
    image.put_entry(0, 0, {"\xE5" "A         ", 0x10, 200});
    image.put_entry(0, 1, {"\xE5" "B         ", 0x10, 250});
    image.put_entry(0, 2, {"\xE5" "C         ", 0x10, 400});
    // A: 12 files, then the first two parts of a long name whose short entry opens A's next
    // cluster, 300, found only by the search: its first file's data follows A's last file's.
    put_folder(image, 200, 0, 12, 1000);
    const std::u16string split = u"Split across clusters.txt";
    const std::uint8_t sum = short_name_checksum("SPLIT~1 TXT");
    for (std::uint32_t p = 2; p >= 1; --p) {
        auto part = long_name_entry(std::u16string_view(split).substr((p - 1) * 13, 13), static_cast<std::uint8_t>(p), sum);
        part[0] = std::byte{0xE5};
        image.put_raw(200, 16 - p, part.data());
    }
    image.put_entry(300, 0, {"\xE5" "PLIT~1 TXT", 0x20, 1012, 100});
    put_file(image, 300, 1, 1013);
    // B's continuation at 310 follows B's data too; C's at 450 does not (a file was written in
    // between), so it goes to the nearest folder left open before it.
    put_folder(image, 250, 0, 14, 2000);
    put_file(image, 310, 0, 2014);
    put_folder(image, 400, 0, 14, 3000);
    put_file(image, 450, 0, 3500);
    // Folders whose own entries are gone: one whose ".." names A, one whose ".." names nothing.
    put_folder(image, 500, 200, 1, 4000);
    put_folder(image, 600, 4900, 1, 4100);
    // Entries before any open folder: no folder to tell.
    put_file(image, 150, 0, 4200);
    ASSERT_EQ(scan(image), 0);

    ASSERT_NE(find(1012), nullptr);
    EXPECT_EQ(find(1012)->name, "#plit across clusters.txt"); // marked as deleted when shown
    EXPECT_EQ(fat_disk_name(*find(1012)), QString::fromStdU16String(split)); // written as the disk kept it
    const std::pair<std::uint32_t, std::uint32_t> parents[] = {{1012, 200}, {1013, 200}, {2014, 250}, {3500, 400},
                                                               {500, 200}, {4000, 500}, {4100, 600}};
    for (const auto& [cluster, parent] : parents) {
        ASSERT_NE(find(cluster), nullptr) << cluster;
        EXPECT_EQ(find(cluster)->parent_cluster, parent) << cluster;
    }
    EXPECT_EQ(find(500)->name, "#00000500");
    EXPECT_EQ(find(600)->lost, 1);
    EXPECT_EQ(find(4200)->lost, 1);
    const auto& lost = engine_.lost().children;
    EXPECT_EQ(std::set<const fat_record_s*>(lost.begin(), lost.end()), (std::set<const fat_record_s*>{find(600), find(4200)}));
    EXPECT_EQ(engine_.lost().has_files, 1);
    EXPECT_EQ(engine_.orphan_stats().runs, 6u);
    // The tree: the root, then the lost entries; rows keep "#" but are written whole.
    const std::unique_ptr<TreeModel> tree = build_fat_tree(engine_.findings(), engine_.lost(), false);
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->root().children.size(), 2u);
    EXPECT_EQ(tree->root().children[1]->name, orphan_folder_name());
    recovery_rows rows;
    list_fat_folder(*find(200), rows, false);
    const auto row = std::find_if(rows.begin(), rows.end(), [](const recovery_item_s& r) { return r.id == 1012; });
    ASSERT_NE(row, rows.end());
    EXPECT_EQ(row->name, "#plit across clusters.txt");
    EXPECT_EQ(written_name(*row), "Split across clusters.txt");
    EXPECT_EQ(engine_.get_found_count(), 3 + 14 + 15 + 15 + 2 + 2 + 1);
}

TEST(FatProgress, ExactlyOneAtThe2001stEntryThenHeld)
{
    EXPECT_EQ(fat_scan_progress(0), 0.0);
    EXPECT_EQ(fat_scan_progress(1000), 0.5);
    EXPECT_EQ(fat_scan_progress(2000), 1.0); // read while the 2001st entry is read
    EXPECT_EQ(fat_scan_progress(2001), 0.99);
    EXPECT_EQ(fat_scan_progress(1000000), 0.99);
}

TEST(IdleEngine, AnswersWithoutDoingAnything)
{
    recovery_stop_c idle;
    recovery_base_c& base = idle;
    EXPECT_EQ(base.get_stop(), stop_idle);
    base.set_stop(stop_abandon);
    EXPECT_EQ(base.get_stop(), stop_idle);
    EXPECT_EQ(base.get_progress(), 0.0);
    EXPECT_EQ(base.recover_file(1, QStringLiteral("/nonexistent/x")), recovery_not_found); // nothing written is no success
    QString untouched = QStringLiteral("same");
    EXPECT_EQ(base.get_file_path(1, untouched), 0);
    EXPECT_EQ(untouched, "same");
}

TEST(RecoveryItem, TravelsInsideAVariant)
{
    const int id = register_recovery_item_type();
    EXPECT_EQ(QMetaType::fromName("recovery_item_s").id(), id);
    recovery_item_s item{QStringLiteral("#A.TXT"), 10, 1, 2, 7, 0x60, false, 3, {}};
    const QVariant v = QVariant::fromValue(item);
    EXPECT_EQ(v.value<recovery_item_s>().name, "#A.TXT");
    EXPECT_EQ(v.value<recovery_item_s>().id, 7u);
}

} // namespace
