// One carving format descriptor, chosen by the input's first byte, measuring and naming the rest
// of the input as a volume: the file at offset 0, and the same bytes again a few bytes in.

#include "libs/carve/carve_config.h"
#include "libs/carve/carve_format.h"
#include "libs/carve/carve_reader.h"
#include "platform/memory_source.h"
#include "tests/fuzz/fuzz_support.h"

#include <vector>

using namespace tarn;

namespace {

// Odd, so that no structure the formats align lines up by chance.
constexpr std::size_t shifted = 13;

void measure(const carve_format_s& format, std::vector<std::byte> volume, std::uint64_t start)
{
    memory_source_c source(std::move(volume));
    carve_reader_c reader(source);
    reader.set_types(&carve_types());
    const carve_found_s found = format.measure(reader, start, format.largest);
    if (found.size != 0 && format.name)
        format.name(reader, start, found.size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto& formats = carve_formats();
    if (size == 0)
        return 0;
    const carve_format_s& format = *formats[data[0] % formats.size()];
    const auto* rest = reinterpret_cast<const std::byte*>(data + 1);
    measure(format, std::vector<std::byte>(rest, rest + size - 1), 0);
    std::vector<std::byte> later(shifted);
    later.insert(later.end(), rest, rest + size - 1);
    measure(format, std::move(later), shifted);
    return 0;
}
