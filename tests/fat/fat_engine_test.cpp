// The FAT scanner on hand-made volumes: how findings with one start cluster are resolved,
// damaged directory trees, extraction, pause and stop.

#include "scan/fat_date.h"
#include "scan/fat_recovery.h"
#include "scan/recovery_item.h"
#include "scan/recovery_stop.h"
#include "tests/fat/fat_fixture.h"

#include <QFile>

#include <chrono>
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
    EXPECT_EQ(base.recover_file(1, QStringLiteral("/nonexistent/x")), 0);
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
