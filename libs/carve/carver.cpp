#include "libs/carve/carver.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace tarn {

namespace {

constexpr std::size_t block_bytes = 4 << 20;
constexpr std::size_t longest_header = 16;

struct candidate_s {
    const carve_type_s* type;
    std::string_view header;
};
using first_byte_table = std::array<std::vector<candidate_s>, 256>;

first_byte_table index_headers(const std::vector<carve_type_s>& types)
{
    first_byte_table table;
    for (const carve_type_s& type : types)
        if (type.enabled)
            for (std::string_view header : type.format->headers)
                if (!header.empty() && header.size() <= longest_header)
                    table[static_cast<std::uint8_t>(header[0])].push_back({&type, header});
    return table;
}

std::int32_t load(std::int32_t* field)
{
    return std::atomic_ref<std::int32_t>(*field).load(std::memory_order_relaxed);
}

// False when the scan must end; waits while paused, looking at the stop flag every 100 ms.
bool keep_going(const carve_progress_s& control)
{
    while (load(control.pause) != 0 && load(control.stop) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return load(control.stop) == 0;
}

// The hit starting at block offset i, if any: its size, 0 when none of the candidates is valid.
std::uint64_t try_offset(const first_byte_table& table, std::span<const std::byte> block, std::size_t i,
                         std::uint64_t at, std::uint64_t size, carve_reader_c& reader, const carve_sink& sink)
{
    for (const candidate_s& c : table[std::to_integer<std::uint8_t>(block[i])]) {
        if (i + c.header.size() > block.size() || std::memcmp(block.data() + i, c.header.data(), c.header.size()) != 0)
            continue;
        const std::uint64_t found = c.type->format->measure(reader, at, std::min(c.type->largest, size - at));
        if (found != 0) {
            sink(*c.type->format, at, found);
            return found;
        }
    }
    return 0;
}

} // namespace

void carve_source(byte_source_c& source, const std::vector<carve_type_s>& types, const carve_progress_s& control,
                  const carve_sink& sink)
{
    const first_byte_table table = index_headers(types);
    carve_reader_c reader(source);
    const std::uint64_t size = source.size();
    std::vector<std::byte> block(block_bytes + longest_header);
    std::uint64_t pos = 0;
    while (pos < size && keep_going(control)) {
        const auto got = source.read_at(pos, block);
        const std::size_t have = got > 0 ? static_cast<std::size_t>(got) : 0;
        const std::size_t scan = std::min(have, block_bytes);
        // An unreadable block is passed over; the scan goes on with the next one.
        std::uint64_t next = pos + (scan != 0 ? scan : block_bytes);
        for (std::size_t i = 0; i < scan;) {
            const std::uint64_t found =
                try_offset(table, std::span<const std::byte>(block.data(), have), i, pos + i, size, reader, sink);
            if (found == 0) {
                ++i;
                continue;
            }
            // Nothing inside a carved file is looked at again: on after its end.
            if (i + found >= scan) {
                next = pos + i + found;
                break;
            }
            i += static_cast<std::size_t>(found);
        }
        pos = next;
        std::atomic_ref<double>(*control.progress)
            .store(std::min(1.0, static_cast<double>(pos) / static_cast<double>(size)), std::memory_order_relaxed);
    }
}

} // namespace tarn
