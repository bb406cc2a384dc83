// The partition table repair on GPT disks made by sgdisk: a sound GPT is left alone, a damaged
// copy is restored from the other, a GPT whose copies are both gone is written anew from the
// finds, and a disk an MBR cannot describe gets a GPT. sgdisk, sfdisk and mmls read the results.

#include "partition/partition_repair.h"
#include "partition/partition_types.h"
#include "platform/byte_source.h"
#include "tests/partition/partition_fixtures.h"
#include "tests/support/test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarn {
namespace {

constexpr std::uint64_t n = test::gpt_disk_sectors;

drive_item_s image_drive(const QString& path)
{
    return {path, static_cast<std::uint64_t>(QFileInfo(path).size()), disk_geometry_s{0, media_fixed, 255, 63, 512}};
}

QByteArray image_hash(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result();
}

// sgdisk -v's verdict, and sfdisk --verify's exit status with its output.
void expect_tools_accept(const QString& image)
{
    QString verdict;
    EXPECT_EQ(test::run_tool("sgdisk", {"-v", image}, &verdict), 0) << verdict.toStdString();
    EXPECT_TRUE(verdict.contains("No problems found")) << verdict.toStdString();
    QString verify;
    EXPECT_EQ(test::run_tool("sfdisk", {"--verify", image}, &verify), 0) << verify.toStdString();
    EXPECT_TRUE(verify.contains("No errors detected")) << verify.toStdString();
}

class gpt_repair : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("XDG_DATA_HOME", data_home.path().toUtf8());
        image = dir.filePath("gpt.img");
    }
    QStringList backups() const
    {
        return QDir(data_home.filePath("TarnRecovery")).entryList({"*-backup-*.bin"}, QDir::Files);
    }
    void search(const QString& path)
    {
        ASSERT_EQ(worker.set_drive(image_drive(path)), 0);
        worker.start_search();
        worker.wait();
    }
    // The pristine disk, made once per test by the real tools and copied sparse for each case.
    QString pristine()
    {
        const QString path = dir.filePath("pristine.img");
        if (!QFileInfo::exists(path)) {
            EXPECT_EQ(test::make_gpt_disk(path), 0);
        }
        return path;
    }
    void fresh_copy()
    {
        QFile::remove(image);
        ASSERT_EQ(test::run_tool("cp", {"--sparse=always", pristine(), image}), 0);
    }
    QTemporaryDir data_home;
    QTemporaryDir dir;
    QString image;
    partition_repair_c worker;
};

// Each case damages the pristine disk (or not); the repair must bring back every byte of it.
struct damage_case {
    const char* name;
    std::vector<std::pair<std::uint64_t, QByteArray>> patches; // sector, bytes written there
    gpt_action_e action;
    bool protective_mbr;
    QString written; // the sectors the repair writes
};

QByteArray zeros(std::uint64_t sectors)
{
    return QByteArray(static_cast<qsizetype>(sectors * 512), '\0');
}

TEST_F(gpt_repair, a_sound_gpt_stays_and_a_damaged_copy_is_restored_byte_for_byte)
{
    const QString tail = QStringLiteral("%1-%2").arg(n - 33).arg(n - 1);
    const damage_case cases[] = {
        {"intact: sound, nothing written", {}, gpt_action_e::none, false, ""},
        {"backup zeroed", {{n - 33, zeros(33)}}, gpt_action_e::restore_backup, false, tail},
        {"primary zeroed", {{1, zeros(33)}}, gpt_action_e::restore_primary, false, "1-33"},
        // One byte of the disk GUID: the header's CRC no longer matches.
        {"primary header's CRC broken", {{1, QByteArray(1, 'X')}}, gpt_action_e::restore_primary, false, "1-33"},
        // An entry changed behind the backup header's back: its entry CRC no longer matches.
        {"backup entries changed", {{n - 33, QByteArray(40, '\x7f')}}, gpt_action_e::restore_backup, false, tail},
        // An MBR table written over the protective MBR (what an MBR-only repair did).
        {"protective MBR replaced", {{0, QByteArray::fromHex("0020210007feffff0008000000400000")}},
         gpt_action_e::none, true, "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fresh_copy();
        const QByteArray intact = image_hash(image);
        for (const auto& [sector, bytes] : c.patches) {
            // The partition entry patch goes to slot 1 of sector 0, the GUID byte to offset 56.
            const std::uint64_t at = sector * 512 + (sector == 0 ? 446 : (sector == 1 && bytes.size() == 1 ? 56 : 0));
            ASSERT_EQ(test::patch_file(image, at, bytes), 0);
        }
        const QByteArray damaged = test::read_file_range(image, 0, 34 * 512) + test::read_file_range(image, (n - 33) * 512, 33 * 512);
        search(image);
        EXPECT_EQ(worker.table_kind_found(), table_kind_e::gpt);
        ASSERT_EQ(worker.partition_count(), 2u);
        const auto preview = worker.preview_repair();
        ASSERT_TRUE(preview && preview->plan.gpt);
        EXPECT_EQ(preview->plan.gpt->action, c.action);
        EXPECT_EQ(preview->plan.gpt->protective_mbr, c.protective_mbr);
        EXPECT_EQ(written_sectors_text(preview->plan), c.written);
        // The MBR entry that replaced the protective one is shown as going.
        EXPECT_EQ(preview->plan.gpt->mbr_overwritten.size(), c.protective_mbr ? 1u : 0u);

        ASSERT_EQ(worker.write_partition_table(*preview), 0) << "a sound table is no failure either";
        if (c.written.isEmpty()) {
            EXPECT_EQ(image_hash(image), intact);
            EXPECT_TRUE(backups().isEmpty());
            continue;
        }
        if (!c.protective_mbr)
            EXPECT_EQ(image_hash(image), intact) << "entries, headers and the rest of the disk as sgdisk wrote them";
        else
            EXPECT_EQ(test::read_file_range(image, 446, 16).toHex().left(10), "00000200ee") << "one 0xEE entry from sector 1";
        expect_tools_accept(image);

        // The backup file: an index sector, then the old content of the runs written; sector 0
        // alone is kept as it always was, its 512 bytes.
        const QByteArray backup = test::read_file_range(worker.backup_path(), 0, 1 << 20);
        if (c.written == "0") {
            EXPECT_EQ(backup, damaged.left(512));
            continue;
        }
        ASSERT_TRUE(backup.startsWith("TARNSECT")) << worker.backup_path().toStdString();
        const std::uint64_t first = c.written.section('-', 0, 0).toULongLong();
        const std::span<const std::byte> index(reinterpret_cast<const std::byte*>(backup.constData()), 512);
        EXPECT_EQ(load_le64(index, 16), first);
        const QByteArray old = first == 0 ? damaged.left(512) : first == 1 ? damaged.mid(512, 33 * 512) : damaged.mid(34 * 512);
        EXPECT_EQ(backup.mid(512), old);
    }
}

TEST_F(gpt_repair, both_copies_gone_a_new_gpt_is_written_from_the_finds)
{
    fresh_copy();
    ASSERT_EQ(test::zero_sectors(image, 1, 33), 0);
    ASSERT_EQ(test::zero_sectors(image, n - 33, 33), 0);
    const QByteArray data_before = test::read_file_range(image, 34 * 512, (n - 68) * 512);
    search(image);
    EXPECT_EQ(worker.table_kind_found(), table_kind_e::gpt) << "the protective MBR still says so";
    const auto preview = worker.preview_repair();
    ASSERT_TRUE(preview && preview->plan.gpt);
    const gpt_plan_s& plan = *preview->plan.gpt;
    EXPECT_EQ(plan.action, gpt_action_e::new_table);
    EXPECT_EQ(plan.reason, gpt_reason_e::protective_mbr);
    EXPECT_TRUE(plan.current.empty());
    ASSERT_EQ(plan.planned.size(), 2u);
    EXPECT_EQ(plan.planned[0].fs_name, "NTFS");
    EXPECT_EQ(written_sectors_text(preview->plan), QStringLiteral("0, 1-33, %1-%2").arg(n - 33).arg(n - 1));

    ASSERT_EQ(worker.write_partition_table(*preview), 0);
    expect_tools_accept(image);
    EXPECT_EQ(test::mmls_partitions(image), (QStringList{"2048 18431", "18432 100331"}));
    QString info;
    ASSERT_EQ(test::run_tool("sgdisk", {"-i", "2", image}, &info), 0);
    EXPECT_TRUE(info.contains("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7")) << info.toStdString();
    QString disk;
    ASSERT_EQ(test::run_tool("sgdisk", {"-p", image}, &disk), 0);
    EXPECT_TRUE(disk.contains(guid_text(preview->fresh[0]))) << "the confirmed plan's own disk GUID";
    EXPECT_EQ(test::read_file_range(image, 34 * 512, (n - 68) * 512), data_before) << "only the tables were written";
    ASSERT_EQ(backups().size(), 1);
    EXPECT_TRUE(backups().front().startsWith("gpt-backup-gpt.img-"));
}

TEST_F(gpt_repair, a_confirmed_gpt_is_written_only_while_the_disk_still_matches_it)
{
    fresh_copy();
    ASSERT_EQ(test::zero_sectors(image, n - 33, 33), 0);
    search(image);
    const auto preview = worker.preview_repair();
    ASSERT_TRUE(preview);
    // The primary changes between the question and the answer.
    ASSERT_EQ(test::patch_file(image, 512 + 56, QByteArray(1, 'Y')), 0);
    const QByteArray changed = image_hash(image);
    EXPECT_EQ(worker.write_partition_table(*preview), -1);
    EXPECT_EQ(image_hash(image), changed);
    EXPECT_TRUE(backups().isEmpty());
}

TEST_F(gpt_repair, no_gpt_is_written_on_a_disk_whose_sectors_are_not_512_bytes)
{
    fresh_copy();
    ASSERT_EQ(test::zero_sectors(image, n - 33, 33), 0);
    const QByteArray before = image_hash(image);
    drive_item_s drive = image_drive(image);
    drive.geometry->bytes_per_sector = 4096;
    ASSERT_EQ(worker.set_drive(drive), 0);
    worker.start_search();
    worker.wait();
    EXPECT_FALSE(worker.preview_repair());
    EXPECT_EQ(worker.write_partition_table(), -1);
    EXPECT_EQ(image_hash(image), before);
    EXPECT_TRUE(backups().isEmpty());
}

TEST_F(gpt_repair, a_disk_over_2_tib_gets_a_gpt_holding_finds_beyond_32_bits)
{
    // Five NTFS volumes and no table; the first reaches up to sector 2^32 - 1, the others start
    // above it. An MBR would have cut their starts to 32 bits.
    const std::uint64_t high = 1ull << 32;
    const QString big = dir.filePath("big.img");
    ASSERT_EQ(test::make_sparse_file(big, (high + 80'000) * 512), 0);
    ASSERT_EQ(test::make_ntfs_in_image(big, 2048, 4096), 0);
    QByteArray first = test::read_file_range(big, 2048 * 512, 512);
    const std::uint64_t total = high - 2048 - 1;
    for (int i = 0; i < 8; ++i)
        first[0x28 + i] = static_cast<char>((total >> (8 * i)) & 0xFF);
    ASSERT_EQ(test::patch_file(big, 2048 * 512, first), 0);
    const std::uint64_t starts[] = {high + 4096, high + 20'000, high + 40'000, high + 60'000};
    for (std::uint64_t start : starts)
        ASSERT_EQ(test::make_ntfs_in_image(big, start, 8192), 0);

    search(big);
    EXPECT_EQ(worker.table_kind_found(), table_kind_e::none);
    ASSERT_EQ(worker.partition_count(), 5u);
    const auto preview = worker.preview_repair();
    ASSERT_TRUE(preview && preview->plan.gpt);
    EXPECT_EQ(preview->plan.gpt->reason, gpt_reason_e::disk_over_2tib);
    ASSERT_EQ(worker.write_partition_table(*preview), 0);

    QString verdict;
    EXPECT_EQ(test::run_tool("sgdisk", {"-v", big}, &verdict), 0);
    EXPECT_TRUE(verdict.contains("No problems found")) << verdict.toStdString();
    QStringList expected = {QStringLiteral("2048 %1").arg(high - 1)};
    for (std::uint64_t start : starts)
        expected << QStringLiteral("%1 %2").arg(start).arg(start + 8191);
    EXPECT_EQ(test::mmls_partitions(big), expected);
    // Sector 0 protects the whole disk as far as 32 bits reach, and holds no other entry.
    const QByteArray sector0 = test::read_file_range(big, 0, 512);
    EXPECT_EQ(sector0.mid(446 + 4, 1).toHex(), "ee");
    EXPECT_EQ(sector0.mid(446 + 8, 8).toHex(), "01000000ffffffff");
    EXPECT_EQ(sector0.mid(462, 48), QByteArray(48, '\0'));
}

} // namespace
} // namespace tarn
