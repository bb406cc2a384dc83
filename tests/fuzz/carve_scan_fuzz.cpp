// The whole deep scan over the input with every type on: the header index, the read-ahead
// thread, every descriptor at every candidate, the joining of fragments; and the pieces of each
// joined file found again, as its recovery does.

#include "libs/carve/carve_config.h"
#include "libs/carve/carve_reader.h"
#include "libs/carve/carver.h"
#include "libs/carve/formats/fragments.h"
#include "platform/memory_source.h"
#include "tests/fuzz/fuzz_support.h"

#include <string_view>
#include <vector>

using namespace tarn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto* first = reinterpret_cast<const std::byte*>(data);
    memory_source_c source(std::vector<std::byte>(first, first + size));
    double progress = 0;
    std::int32_t pause = 0;
    std::int32_t stop = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> joined;
    carve_source(source, carve_types(), {&progress, &pause, &stop},
                 [&](const char* extension, std::uint64_t offset, const carve_found_s& found) {
                     if (std::string_view(extension).ends_with(carve_joined_mark))
                         joined.emplace_back(offset, found.total());
                 });
    carve_reader_c reader(source);
    reader.set_types(&carve_types());
    for (const auto& [offset, total] : joined)
        carve_pieces(reader, offset, total);
    return 0;
}
