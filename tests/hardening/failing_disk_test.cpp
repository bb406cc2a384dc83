// Every engine and the lost-partition search over a disk that fails: a range whose reads fail, a
// range whose reads come back short, a disk that stops answering. What lies outside the failure
// is still found, the failed offset is logged (or noted for the engine to log), every call
// returns, and a file on the bad range is reported failed while one elsewhere comes back whole.

#include "libs/carve/carver.h"
#include "libs/ntfs_scan/ntfs_scan.h"
#include "libs/ntfs_scan/ntfs_scan_source.h"
#include "partition/partition_search.h"
#include "platform/device.h"
#include "platform/memory_source.h"
#include "platform/noting_source.h"
#include "recovery/file_extraction.h"
#include "recovery/scanner_kind.h"
#include "scan/disk_sector_layer.h"
#include "scan/exfat_recovery.h"
#include "scan/fat_recovery.h"
#include "scan/ntfs_record.h"
#include "libs/carve/carve_config.h"
#include "platform/aligned_buffer.h"
#include "tests/exfat/exfat_volume.h"
#include "tests/ntfs/ntfs_volume.h"
#include "tests/partition/partition_fixtures.h"
#include "tests/support/failing_source.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>
#include <map>
#include <numeric>
#include <random>

using namespace tarn;
using namespace tarn::test;

namespace {

enum class engine_e { partition, fat, exfat, ntfs, carve };

struct case_s {
    engine_e engine;
    failure_kind_e kind;
    bool silent; // the disk stops answering at the bad range instead of reading again after it
    const char* name;
};

void PrintTo(const case_s& c, std::ostream* os)
{
    *os << c.name;
}

// Runs f on a thread of its own and fails the whole run if it has not returned within minutes:
// a search that never ends must not pass by hanging.
template <class F> auto within_time(F f)
{
    auto done = std::async(std::launch::async, std::move(f));
    if (done.wait_for(std::chrono::minutes(3)) != std::future_status::ready) {
        ADD_FAILURE() << "no return within 3 minutes";
        std::_Exit(1);
    }
    return done.get();
}

QByteArray random_bytes(int size, unsigned seed)
{
    std::mt19937 random(seed);
    QByteArray out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(random());
    return out;
}

QByteArray read_all(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::vector<std::byte> bytes_of(const QByteArray& a)
{
    const auto* p = reinterpret_cast<const std::byte*>(a.constData());
    return {p, p + a.size()};
}

std::unique_ptr<byte_source_c> failing_file(const QString& path, std::shared_ptr<failure_plan_s> plan)
{
    return std::make_unique<failing_source_c>(device_c::open(path, access_e::read), std::move(plan));
}

// The bad range, or the whole disk from its start on.
std::shared_ptr<failure_plan_s> plan_for(const case_s& c, std::vector<failing_range_s> ranges)
{
    auto plan = std::make_shared<failure_plan_s>();
    for (failing_range_s r : ranges)
        plan->ranges.push_back(c.silent ? failing_from(r.at, c.kind) : failing_range_s{r.at, r.bytes, c.kind});
    return plan;
}

bool covers(const read_failures_c& failures, std::uint64_t at)
{
    return std::any_of(failures.ranges().begin(), failures.ranges().end(),
                       [at](const unreadable_range_s& r) { return at >= r.at && at < r.at + r.bytes; });
}

class FailingDisk : public ::testing::TestWithParam<case_s> {
protected:
    void SetUp() override
    {
        qputenv("XDG_STATE_HOME", dir_.filePath("state").toUtf8());
        qputenv("TZ", "UTC");
    }
    void TearDown() override
    {
        f_mount(0, nullptr);
        disk_shutdown();
        qunsetenv("TARN_DISKS");
        qunsetenv("XDG_STATE_HOME");
    }
    // Whether the diagnostic log has a line naming a byte range that holds at.
    bool logged(std::uint64_t at) const
    {
        static const QRegularExpression range(R"(at byte offset (\d+) \(to (\d+)\))");
        for (auto m = range.globalMatch(QString::fromUtf8(read_all(dir_.filePath("state/Velloran.log")))); m.hasNext();) {
            const auto hit = m.next();
            if (at >= hit.captured(1).toULongLong() && at < hit.captured(2).toULongLong())
                return true;
        }
        return false;
    }
    QString log() const { return QString::fromUtf8(read_all(dir_.filePath("state/Velloran.log"))); }

    void check_partition_search(const case_s& c);
    void check_fat(const case_s& c);
    void check_exfat(const case_s& c);
    void check_ntfs(const case_s& c);
    void check_carve(const case_s& c);

    QTemporaryDir dir_;
};

// FAT32 at 2048 and NTFS at 120000; the bad range lies in the unpartitioned space between them.
void FailingDisk::check_partition_search(const case_s& c)
{
    const QString image = dir_.filePath("disk.img");
    ASSERT_EQ(make_sparse_file(image, 200'000ull * 512), 0);
    ASSERT_EQ(write_partition_table(image, "label: dos\nstart=2048, size=81900, type=c\nstart=120000, size=40960, type=7\n"), 0);
    ASSERT_EQ(make_fat32_in_image(image, 2048, 81900), 0);
    ASSERT_EQ(make_ntfs_in_image(image, 120000, 40960), 0);
    const std::uint64_t bad = 95'001ull * 512;
    auto plan = plan_for(c, {{bad, 5000 * 512}});
    const auto disk = failing_file(image, plan);
    std::vector<partition_item_s> found;
    const int result = within_time([&] {
        aligned_buffer_c buffer(search_buffer_bytes);
        std::atomic<bool> stop{false};
        std::atomic<double> progress{0};
        return search_disk(*disk, disk->size(), buffer.span(), {stop, progress, [&](const partition_item_s& p) { found.push_back(p); }});
    });
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found[0].start_sector, 2048u);
    // Past a bad range the search goes on and finds the NTFS volume; past a silent disk it ends.
    EXPECT_EQ(found.size(), c.silent ? 1u : 2u);
    EXPECT_EQ(result, c.silent ? search_disk_silent : search_done);
    EXPECT_TRUE(logged(bad)) << log().toStdString();
    EXPECT_EQ(log().contains("stopped answering"), c.silent);
}

// Folder A holds alpha, folder B bravo and charlie, all three deleted. The bad ranges: A's folder
// cluster and charlie's data; a silent disk stops answering at charlie's data.
void FailingDisk::check_fat(const case_s& c)
{
    const QString image = dir_.filePath("fat.img");
    ASSERT_EQ(format_fat(image, 0, 32768, 16, "FAILING"), 0);
    const QStringList places = {"::/A/alpha.bin", "::/B/bravo.bin", "::/B/charlie.bin"};
    ASSERT_EQ(run_mtools({"mmd", "-i", image, "::/A", "::/B"}), 0);
    for (int i = 0; i < 3; ++i) {
        QFile file(dir_.filePath(QString::number(i)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(random_bytes(20000, i)) == 20000);
        file.close();
        ASSERT_EQ(run_mtools({"mcopy", "-i", image, file.fileName(), places[i]}), 0);
    }
    ASSERT_EQ(run_mtools(QStringList{"mdel", "-i", image} + places), 0);
    qputenv("TARN_DISKS", image.toUtf8());
    ASSERT_EQ(disk_enumerate(), 1);
    fat_recovery_c engine;
    volume_item_s volume;
    volume.volume_path = image;
    engine.set_volume(volume);
    const auto scan = [&] {
        engine.reset();
        engine.start();
        std::map<QString, std::uint32_t> clusters; // by the name's end, which the "#" leaves
        if (engine.wait(120000))
            for (const auto& [cluster, record] : engine.findings())
                clusters[record.name.mid(1)] = cluster;
        return clusters;
    };
    const auto clean = scan();
    ASSERT_TRUE(clean.contains("lpha.bin") && clean.contains("harlie.bin"));
    const fat_fs_s& fs = fat_volume_object();
    const auto at = [&](std::uint32_t cluster) { return std::uint64_t{fat_detail::clust2sect(fs, cluster)} * 512; };
    const std::uint64_t folder_a = at(engine.findings().at(clean.at("lpha.bin")).parent_cluster);
    const std::uint64_t charlie = at(clean.at("harlie.bin"));
    const std::uint64_t cluster_bytes = fs.sectors_per_cluster * 512ull;
    auto plan = c.silent ? plan_for(c, {{charlie, cluster_bytes}}) : plan_for(c, {{folder_a, cluster_bytes}, {charlie, cluster_bytes}});
    ASSERT_EQ(disk_attach(0, failing_file(image, plan)), 0);

    const auto failing = scan();
    EXPECT_TRUE(failing.contains("ravo.bin") && failing.contains("harlie.bin"));
    EXPECT_EQ(failing.contains("lpha.bin"), c.silent); // its folder could not be read
    EXPECT_TRUE(logged(c.silent ? charlie : folder_a)) << log().toStdString();

    recovery_rows rows(2);
    for (int i = 0; i < 2; ++i) {
        rows[i].name = i == 0 ? "bravo.bin" : "charlie.bin";
        rows[i].id = failing.at(i == 0 ? "ravo.bin" : "harlie.bin");
        rows[i].checked = true;
    }
    std::map<QString, int> results;
    const QString out = dir_.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out));
    EXPECT_EQ(extract_rows(engine, scanner_fat, out, rows, nullptr, [&](const recovery_item_s& r, int result) { results[r.name] = result; }), 1);
    EXPECT_EQ(results["bravo.bin"], recovery_ok);
    EXPECT_EQ(results["charlie.bin"], recovery_incomplete);
    EXPECT_EQ(read_all(out + "/bravo.bin"), random_bytes(20000, 1));
    EXPECT_TRUE(logged(charlie));
}

// As on FAT: folder A holds alpha, folder B bravo and charlie, all three deleted, on an exFAT
// volume; the bad ranges are A's folder cluster and charlie's data, and a silent disk stops
// answering at charlie's data, which lies after everything else.
void FailingDisk::check_exfat(const case_s& c)
{
    exfat_image_c image(dir_.path(), 8 << 20);
    ASSERT_FALSE(image.bytes().empty());
    std::uint32_t next = image.free_cluster(2);
    const std::uint32_t a = next++, b = next++;
    std::size_t slot = static_cast<std::size_t>(image.root_slot(0x00));
    slot += image.put_set(image.root_cluster(), slot, {u"A", 0x10, a, 4096});
    image.put_set(image.root_cluster(), slot, {u"B", 0x10, b, 4096});
    std::map<QString, std::uint32_t> first;
    for (int i = 0; i < 3; ++i) {
        const QByteArray content = random_bytes(20000, i);
        first[i == 0 ? "alpha.bin" : i == 1 ? "bravo.bin" : "charlie.bin"] = next;
        std::memcpy(image.bytes().data() + image.cluster_offset(next), content.constData(), 20000);
        next += 5;
    }
    image.put_set(a, 0, {u"alpha.bin", 0x20, first["alpha.bin"], 20000});
    const std::size_t bravo = image.put_set(b, 0, {u"bravo.bin", 0x20, first["bravo.bin"], 20000});
    image.put_set(b, bravo, {u"charlie.bin", 0x20, first["charlie.bin"], 20000});
    const std::uint64_t folder_a = image.cluster_offset(a);
    const std::uint64_t charlie = image.cluster_offset(first["charlie.bin"]);
    auto plan = c.silent ? plan_for(c, {{charlie, 4096}}) : plan_for(c, {{folder_a, 4096}, {charlie, 4096}});
    exfat_recovery_c engine;
    engine.set_source(std::make_unique<failing_source_c>(std::make_unique<memory_source_c>(image.bytes()), plan));
    engine.start();
    ASSERT_TRUE(engine.wait(120000));
    EXPECT_EQ(engine.get_failure(), scan_failure_e::none);
    std::map<QString, std::uint64_t> found;
    for (const auto& [key, record] : engine.findings())
        found[record.name] = key;
    EXPECT_TRUE(found.contains("bravo.bin") && found.contains("charlie.bin"));
    EXPECT_EQ(found.contains("alpha.bin"), c.silent); // its folder could not be read
    // The scan reads no file's data: a disk silent from charlie's on fails no read of it.
    EXPECT_EQ(logged(folder_a), !c.silent) << log().toStdString();

    recovery_rows rows(2);
    for (int i = 0; i < 2; ++i) {
        rows[i].name = i == 0 ? "bravo.bin" : "charlie.bin";
        rows[i].id = found[rows[i].name];
        rows[i].checked = true;
    }
    std::map<QString, int> results;
    const QString out = dir_.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out));
    EXPECT_EQ(extract_rows(engine, scanner_exfat, out, rows, nullptr, [&](const recovery_item_s& r, int result) { results[r.name] = result; }), 1);
    EXPECT_EQ(results["bravo.bin"], recovery_ok);
    EXPECT_EQ(results["charlie.bin"], recovery_incomplete);
    EXPECT_EQ(read_all(out + "/bravo.bin"), random_bytes(20000, 1));
    EXPECT_TRUE(logged(charlie));
}

struct ntfs_pass_s {
    std::map<QString, std::uint64_t> numbers; // of the deleted files delivered
    std::map<QString, QByteArray> copies;     // of those recovered whole
    std::map<QString, int> results;
    read_failures_c scan_failures, recover_failures;
};

ntfs_pass_s ntfs_pass(std::unique_ptr<byte_source_c> source, const QString& scratch)
{
    ntfs_pass_s pass;
    alignas(8) std::array<std::byte, NTFS_SCAN_CONTEXT_BYTES> context{};
    if (ntfs_scan_startup_source(std::move(source), context.data()) != 0)
        return pass;
    for (ntfs_record_s r; ntfs_scan_next(context.data(), r.raw.data()) == 1; r.raw.fill(std::byte{0}))
        if (r.is_file() && r.is_deleted())
            pass.numbers[r.name()] = r.record_number();
    pass.scan_failures = ntfs_scan_take_failures(context.data());
    for (const auto& [name, number] : pass.numbers) {
        const int result = ntfs_scan_recover(context.data(), static_cast<std::uint32_t>(number), 0,
                                             QFile::encodeName(scratch).constData(), nullptr);
        pass.results[name] = result;
        if (result == 0)
            pass.copies[name] = read_all(scratch);
    }
    pass.recover_failures = ntfs_scan_take_failures(context.data());
    ntfs_scan_cleanup(context.data());
    return pass;
}

// The bad ranges: alpha's MFT entry and the start of charlie's data.
void FailingDisk::check_ntfs(const case_s& c)
{
    const QString image = dir_.filePath("ntfs.img");
    ASSERT_EQ(make_ntfs_volume(image, 16ll << 20,
                               {"mkdir", "/D", "mkdir", "/E", "fill", "/D/alpha.bin", "70000", "1", "fill", "/E/bravo.bin",
                                "70000", "2", "fill", "/E/charlie.bin", "70000", "3", "rm", "/D/alpha.bin", "rm",
                                "/E/bravo.bin", "rm", "/E/charlie.bin"}),
              0);
    const QByteArray bytes = read_all(image);
    const auto clean = within_time([&] { return ntfs_pass(std::make_unique<memory_source_c>(bytes_of(bytes)), dir_.filePath("x")); });
    ASSERT_EQ(clean.copies.size(), 3u);
    const std::vector<std::byte> boot = bytes_of(bytes.left(512));
    ASSERT_EQ(std::to_integer<int>(boot[0x40]), 0xF6); // 1024-byte MFT entries
    const std::uint64_t mft = load_le64(boot, 48) * load_le16(boot, 11) * std::to_integer<unsigned>(boot[13]);
    const std::uint64_t alpha = mft + clean.numbers.at("alpha.bin") * 1024;
    const auto charlie = static_cast<std::uint64_t>(bytes.indexOf(clean.copies.at("charlie.bin").left(4096)));
    auto plan = plan_for(c, {{alpha, 1024}, {charlie, 4096}});
    const auto failing = within_time([&] {
        return ntfs_pass(std::make_unique<failing_source_c>(std::make_unique<memory_source_c>(bytes_of(bytes)), plan), dir_.filePath("x"));
    });
    EXPECT_FALSE(failing.numbers.contains("alpha.bin"));
    EXPECT_EQ(failing.copies.at("bravo.bin"), clean.copies.at("bravo.bin"));
    EXPECT_EQ(failing.results.at("charlie.bin"), NTFS_SCAN_SHORT);
    EXPECT_TRUE(covers(failing.scan_failures, alpha));
    EXPECT_TRUE(covers(failing.recover_failures, charlie));
}

// Files made by gzip at 1, 5, 9 and 13 MiB into the volume; the one at 9 MiB lies in the scan's
// block that cannot be read.
// Files around a bad sector, in the 2 MiB the scan reads at once and in the same 256 KiB, are
// found; the one that holds it is not reported whole. A disk that stops answering keeps what lies
// before the stop, and costs few failed reads per block.
void FailingDisk::check_carve(const case_s& c)
{
    QByteArray volume(16 << 20, '\0');
    const std::uint64_t bad = (9u << 20) + 4096;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> expected;
    const std::uint64_t places[] = {1u << 20, 5u << 20, 9u << 20, 13u << 20, (8u << 20) + 65536, (9u << 20) + 131072};
    for (int i = 0; i < 6; ++i) {
        const QString file = dir_.filePath(QString::number(i));
        QFile plain(file);
        ASSERT_TRUE(plain.open(QIODevice::WriteOnly) && plain.write(random_bytes(50000, 10 + i)) == 50000);
        plain.close();
        ASSERT_EQ(run_tool("gzip", {"-n", file}), 0);
        const QByteArray packed = read_all(file + ".gz");
        volume.replace(static_cast<qsizetype>(places[i]), packed.size(), packed);
        if (places[i] != (9u << 20) && (!c.silent || places[i] < bad))
            expected.emplace_back(places[i], packed.size());
    }
    std::sort(expected.begin(), expected.end());
    auto plan = plan_for(c, {{bad, 4096}});
    noting_source_c source(std::make_unique<failing_source_c>(std::make_unique<memory_source_c>(bytes_of(volume)), plan));
    std::vector<std::pair<std::uint64_t, std::uint64_t>> hits;
    within_time([&] {
        double progress = 0;
        std::int32_t pause = 0, stop = 0;
        carve_source(source, carve_types(), {&progress, &pause, &stop},
                     [&](const char*, std::uint64_t offset, const carve_found_s& found) { hits.emplace_back(offset, found.total()); });
        return 0;
    });
    EXPECT_EQ(hits, expected);
    const read_failures_c failures = source.take_failures();
    EXPECT_TRUE(covers(failures, bad));
    // The log names what stayed unreadable: a walk's read over the bad page, not the 2 MiB around it.
    if (!c.silent) {
        EXPECT_LE(std::accumulate(failures.ranges().begin(), failures.ranges().end(), std::uint64_t{0},
                                  [](std::uint64_t sum, const unreadable_range_s& r) { return sum + r.bytes; }),
                  65536u);
    }
    EXPECT_LE(plan->failed_reads, c.silent ? 80u : 20u) << "failed reads: a few a block, one a block where nothing answers";
}

INSTANTIATE_TEST_SUITE_P(, FailingDisk,
                         ::testing::Values(case_s{engine_e::partition, failure_kind_e::error, false, "partition_error"},
                                           case_s{engine_e::partition, failure_kind_e::short_read, false, "partition_short"},
                                           case_s{engine_e::partition, failure_kind_e::error, true, "partition_silent"},
                                           case_s{engine_e::fat, failure_kind_e::error, false, "fat_error"},
                                           case_s{engine_e::fat, failure_kind_e::short_read, false, "fat_short"},
                                           case_s{engine_e::fat, failure_kind_e::error, true, "fat_silent"},
                                           case_s{engine_e::exfat, failure_kind_e::error, false, "exfat_error"},
                                           case_s{engine_e::exfat, failure_kind_e::short_read, false, "exfat_short"},
                                           case_s{engine_e::exfat, failure_kind_e::error, true, "exfat_silent"},
                                           case_s{engine_e::ntfs, failure_kind_e::error, false, "ntfs_error"},
                                           case_s{engine_e::ntfs, failure_kind_e::short_read, false, "ntfs_short"},
                                           case_s{engine_e::carve, failure_kind_e::error, false, "carve_error"},
                                           case_s{engine_e::carve, failure_kind_e::short_read, false, "carve_short"},
                                           case_s{engine_e::carve, failure_kind_e::error, true, "carve_silent"}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_P(FailingDisk, WhatLiesOutsideTheFailureIsFoundAndTheFailureIsSaid)
{
    switch (GetParam().engine) {
    case engine_e::partition: check_partition_search(GetParam()); break;
    case engine_e::fat: check_fat(GetParam()); break;
    case engine_e::exfat: check_exfat(GetParam()); break;
    case engine_e::ntfs: check_ntfs(GetParam()); break;
    case engine_e::carve: check_carve(GetParam()); break;
    }
}

} // namespace
