// The deep scan's cost and its hits on volumes built against it: records that each start a file
// of their format and chain on to the volume's end without ever making a whole one, and one small
// text record over and over. The scan must stay near the cost of a random volume of the same size
// (measured in the same run, so that a slower build compares alike) and report only sane hits.

#include "libs/carve/carve_config.h"
#include "libs/carve/carve_reader.h"
#include "libs/carve/carver.h"
#include "libs/carve/walk_memo.h"
#include "platform/memory_source.h"
#include "tests/support/adversarial_volumes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

using namespace tarn;

namespace {

constexpr std::size_t volume_bytes = 16 << 20;
// A random volume holds almost no candidates; these hold one every 32 to 512 bytes, and each is
// still matched and looked at once: they take 1.2 to 3 times as long on an idle machine, up to
// about 5 when other work shares it. An unoptimised build (the sanitizer one) runs that per-candidate code
// far slower than the vectorised search that most of a random volume's scan is: there they take
// about 10 times as long. A scan that walks a chain again from each record takes hundreds to
// thousands of times as long in either.
#ifdef __OPTIMIZE__
constexpr double slowest_ratio = 10;
#else
constexpr double slowest_ratio = 40;
#endif

struct hit_s {
    std::string extension;
    std::uint64_t offset;
    std::uint64_t size;
};

struct scan_s {
    double seconds = 1e30; // the best of the runs
    std::vector<hit_s> hits;
    std::uint64_t cut_off = 0; // candidates the scan's budget cut off
};

scan_s carve_timed(const std::vector<std::byte>& volume, int runs)
{
    scan_s scan;
    for (int run = 0; run < runs; ++run) {
        memory_source_c source(volume);
        double progress = 0;
        std::int32_t pause = 0, stop = 0;
        scan.hits.clear();
        const auto began = std::chrono::steady_clock::now();
        scan.cut_off = carve_source(source, carve_types(), {&progress, &pause, &stop},
                                    [&](const char* extension, std::uint64_t offset, const carve_found_s& found) {
                                        scan.hits.push_back({extension, offset, found.size});
                                    });
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
        scan.seconds = std::min(scan.seconds, took.count());
    }
    return scan;
}

} // namespace

// Each volume takes little longer than a random one, and what it reports lies inside it, in order,
// without one hit inside another. The two are scanned by turns and the best of each compared, so
// that other work on the machine weighs on both alike.
TEST(CarveCost, ChainsOfRecordsCostNoMoreThanARandomVolume)
{
    const std::vector<std::byte> random = random_volume(volume_bytes);
    const struct {
        const char* name;
        std::vector<std::byte> (*make)(std::size_t);
    } volumes[] = {{"tar headers", tar_headers_volume}, {"7z signatures", sevenzip_signatures_volume},
                   {"rar4 blocks", rar4_blocks_volume}, {"zip local headers", zip_locals_volume}};
    for (const auto& v : volumes) {
        const std::vector<std::byte> volume = v.make(volume_bytes);
        double reference = 1e30;
        scan_s scan;
        for (int turn = 0; turn < 5; ++turn) {
            reference = std::min(reference, carve_timed(random, 1).seconds);
            scan_s once = carve_timed(volume, 1);
            once.seconds = std::min(once.seconds, scan.seconds);
            scan = std::move(once);
        }
        std::printf("%s: %.3f s, random %.3f s, %.2f x, %zu hits\n", v.name, scan.seconds, reference,
                    scan.seconds / reference, scan.hits.size());
        EXPECT_LE(scan.seconds, slowest_ratio * reference) << v.name;
        // The formats' own walks keep these cheap: the scan's budget, the last resort, is not needed.
        EXPECT_EQ(scan.cut_off, 0u) << v.name;
        std::uint64_t end = 0;
        for (const hit_s& hit : scan.hits) {
            EXPECT_GE(hit.offset, end) << v.name;
            EXPECT_GT(hit.size, 0u) << v.name;
            EXPECT_LE(hit.size, volume_bytes - hit.offset) << v.name;
            end = hit.offset + hit.size;
        }
    }
}

// A repeated small JSON record is one pattern, not hundreds of thousands of files.
TEST(CarveCost, RepeatedTextIsNotReportedAsManyFiles)
{
    const scan_s scan = carve_timed(repeated_json_volume(10 << 20), 1);
    EXPECT_LE(scan.hits.size(), 4u);
    for (const hit_s& hit : scan.hits)
        EXPECT_LE(hit.offset + hit.size, std::uint64_t{10} << 20);
}

// A walk's path keeps every record it passed, and only those, whether they lie an equal step apart
// or not; an outcome holds for the same stop, or a further one when the stop did not decide it.
TEST(CarveCost, AWalksMemoryHoldsExactlyWhatItPassed)
{
    walk_path_c path;
    const std::vector<std::uint64_t> passed = {100, 612, 1124, 1636, 1700, 5000, 5001, 5002, 9000};
    for (const std::uint64_t at : passed)
        path.pass(at);
    for (std::uint64_t at = 0; at < 10000; ++at)
        EXPECT_EQ(path.holds(at), std::find(passed.begin(), passed.end(), at) != passed.end()) << at;

    memory_source_c source(std::vector<std::byte>(16));
    carve_reader_c reader(source);
    walk_memo_c memo;
    walk_path_c by_stop, by_record;
    by_stop.pass(10);
    by_record.pass(20);
    memo.keep(reader, std::move(by_stop), {30, 1}, 1000, true);
    memo.keep(reader, std::move(by_record), {40, 2}, 1000, false);
    ASSERT_NE(memo.outcome(10, 1000), nullptr);
    EXPECT_EQ(memo.outcome(10, 1000)->at, 30u);
    EXPECT_EQ(memo.outcome(10, 2000), nullptr);
    EXPECT_EQ(memo.outcome(20, 2000)->how, 2);
    EXPECT_EQ(memo.outcome(20, 999), nullptr);
    EXPECT_EQ(memo.outcome(15, 1000), nullptr);
}
