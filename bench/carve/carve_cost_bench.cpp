// The deep scan's cost on volumes built to make it slow (records that chain to the volume's end,
// one small text record over and over) against a random volume of the same size, measured in the
// same run: seconds, the ratio to the random volume, and the number of files reported.
//   carve_cost_bench [MiB [runs [name]]]   (default 16 MiB, the best of 3 runs, every volume)

#include "libs/carve/carve_config.h"
#include "libs/carve/carver.h"
#include "platform/memory_source.h"
#include "tests/support/adversarial_volumes.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace tarn;

namespace {

// The best of runs scans: seconds, and the files the last one reported.
double carve_seconds(const std::vector<std::byte>& volume, int runs, std::size_t& hits)
{
    double best = 1e30;
    for (int run = 0; run < runs; ++run) {
        memory_source_c source(volume);
        double progress = 0;
        std::int32_t pause = 0, stop = 0;
        hits = 0;
        const auto began = std::chrono::steady_clock::now();
        carve_source(source, carve_types(), {&progress, &pause, &stop},
                     [&](const char*, std::uint64_t, const carve_found_s&) { ++hits; });
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
    const std::size_t size = mib << 20;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    std::size_t hits = 0;
    const double reference = carve_seconds(random_volume(size), runs, hits);
    std::printf("%-22s %9.3f s   1.00 x  %zu files\n", "random", reference, hits);
    const struct {
        const char* name;
        std::vector<std::byte> (*make)(std::size_t);
    } volumes[] = {{"tar headers", tar_headers_volume}, {"7z signatures", sevenzip_signatures_volume},
                   {"rar4 blocks", rar4_blocks_volume}, {"zip local headers", zip_locals_volume},
                   {"repeated json", repeated_json_volume}};
    for (const auto& v : volumes) {
        if (argc > 3 && std::strstr(v.name, argv[3]) == nullptr)
            continue;
        const double seconds = carve_seconds(v.make(size), runs, hits);
        std::printf("%-22s %9.3f s %6.2f x  %zu files\n", v.name, seconds, seconds / reference, hits);
        std::fflush(stdout);
    }
    return 0;
}
