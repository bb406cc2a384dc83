// The whole deep scan over the input with every type on: the header index, the read-ahead
// thread, every descriptor at every candidate, the joining of fragments; and the pieces of each
// joined file found again, as its recovery does. A scan that takes far longer than one of random
// bytes of the same size fails: the scan's cost must stay linear whatever the bytes.

#include "libs/carve/carve_config.h"
#include "libs/carve/carve_reader.h"
#include "libs/carve/carver.h"
#include "libs/carve/formats/fragments.h"
#include "platform/memory_source.h"
#include "tests/fuzz/fuzz_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string_view>
#include <vector>

using namespace tarn;

namespace {

// How many times slower than random bytes a scan may be, and a time any scan may take (a small
// input's scan is mostly fixed costs, which a busy machine can stretch).
constexpr double slowest_ratio = 50;
constexpr double always_allowed = 0.25;

// Scans source; the joined files found, and the seconds it took.
double scan(byte_source_c& source, std::vector<std::pair<std::uint64_t, std::uint64_t>>& joined)
{
    double progress = 0;
    std::int32_t pause = 0;
    std::int32_t stop = 0;
    const auto began = std::chrono::steady_clock::now();
    carve_source(source, carve_types(), {&progress, &pause, &stop},
                 [&](const char* extension, std::uint64_t offset, const carve_found_s& found) {
                     if (std::string_view(extension).ends_with(carve_joined_mark))
                         joined.emplace_back(offset, found.total());
                 });
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
}

// The best of three scans of random bytes as many as size rounded up to a power of two, measured
// once per such size.
double random_seconds(std::size_t size)
{
    static std::map<std::size_t, double> measured;
    std::size_t rounded = 4096;
    while (rounded < size)
        rounded *= 2;
    if (const auto known = measured.find(rounded); known != measured.end())
        return known->second;
    std::vector<std::byte> bytes(rounded);
    std::mt19937 random(1);
    for (std::byte& b : bytes)
        b = static_cast<std::byte>(random());
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        memory_source_c source(bytes);
        std::vector<std::pair<std::uint64_t, std::uint64_t>> ignored;
        best = std::min(best, scan(source, ignored));
    }
    return measured[rounded] = best;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto* first = reinterpret_cast<const std::byte*>(data);
    memory_source_c source(std::vector<std::byte>(first, first + size));
    std::vector<std::pair<std::uint64_t, std::uint64_t>> joined;
    const double took = scan(source, joined);
    if (const double allowed = slowest_ratio * random_seconds(size); took > allowed && took > always_allowed) {
        std::fprintf(stderr, "the scan of %zu bytes took %.3f s, more than %.3f s\n", size, took, allowed);
        std::abort();
    }
    carve_reader_c reader(source);
    reader.set_types(&carve_types());
    for (const auto& [offset, total] : joined)
        carve_pieces(reader, offset, total);
    return 0;
}
