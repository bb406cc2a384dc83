// Matroska and WebM (EBML): the EBML header, whose document type must be "matroska" or "webm",
// then the Segment. A Segment of stated size must be filled exactly by its top-level elements; one
// of unknown size (a live recording) runs as far as known top-level elements follow one another,
// its clusters walked the same way when their size is unknown too.

#include "libs/carve/carve_format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <string_view>

namespace tarn {

namespace {

constexpr std::uint32_t segment_id = 0x18538067, cluster_id = 0x1F43B675;
constexpr int most_elements = 1 << 24;

struct element_s {
    std::uint32_t id = 0;
    std::uint64_t size = 0; // of the data
    bool unknown = false;   // the size field says "unknown"
    std::uint64_t data = 0; // where the data starts
};

// The element at at; false when its ID or size field is malformed.
bool read_element(carve_reader_c& in, std::uint64_t at, element_s& e)
{
    const int first = in.byte_at(at);
    if (first <= 0)
        return false;
    const int id_length = std::countl_zero(static_cast<std::uint8_t>(first)) + 1;
    if (id_length > 4)
        return false;
    e.id = 0;
    for (int i = 0; i < id_length; ++i)
        e.id = e.id << 8 | static_cast<std::uint32_t>(std::max(0, in.byte_at(at + i)));
    const int lead = in.byte_at(at + id_length);
    if (lead <= 0)
        return false;
    const int size_length = std::countl_zero(static_cast<std::uint8_t>(lead)) + 1;
    std::uint64_t size = static_cast<std::uint64_t>(lead) & (0xFFu >> size_length);
    bool all_ones = size == (0xFFu >> size_length);
    for (int i = 1; i < size_length; ++i) {
        const int b = in.byte_at(at + id_length + i);
        if (b < 0)
            return false;
        size = size << 8 | static_cast<std::uint64_t>(b);
        all_ones &= b == 0xFF;
    }
    e.unknown = all_ones;
    e.size = size;
    e.data = at + id_length + size_length;
    return true;
}

bool top_level(std::uint32_t id)
{
    static constexpr std::array<std::uint32_t, 10> ids{0x114D9B74, 0x1549A966, 0x1654AE6B, cluster_id, 0x1C53BB6B,
                                                       0x1043A770, 0x1254C367, 0x1941A469, 0xEC, 0xBF};
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

bool cluster_child(std::uint32_t id)
{
    static constexpr std::array<std::uint32_t, 8> ids{0xE7, 0xA3, 0xA0, 0xA7, 0xAB, 0x5854, 0xEC, 0xBF};
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// Walks elements from at while accept takes their IDs, up to stop; where the walk ended. An element
// of unknown size is walked into with inner (a cluster's children), when given.
template <typename Accept>
std::uint64_t walk(carve_reader_c& in, std::uint64_t at, std::uint64_t stop, Accept accept, bool clusters)
{
    for (int n = 0; n < most_elements && at < stop; ++n) {
        element_s e;
        if (!read_element(in, at, e) || !accept(e.id))
            break;
        if (e.unknown) {
            if (!clusters || e.id != cluster_id)
                break;
            at = walk(in, e.data, stop, cluster_child, false);
            continue;
        }
        if (e.size > stop - e.data)
            break;
        at = e.data + e.size;
    }
    return at;
}

// The header's document type; empty when the header is malformed.
std::string_view doc_type(carve_reader_c& in, std::uint64_t start, std::uint64_t& end, std::array<char, 16>& text)
{
    element_s header;
    if (!read_element(in, start, header) || header.unknown || header.size > 4096)
        return {};
    end = header.data + header.size;
    for (std::uint64_t at = header.data; at < end;) {
        element_s e;
        if (!read_element(in, at, e) || e.unknown || e.size > end - e.data)
            return {};
        if (e.id == 0x4282 && e.size <= text.size()) {
            if (!in.read(e.data, std::as_writable_bytes(std::span<char>(text.data(), e.size))))
                return {};
            return std::string_view(text.data(), e.size);
        }
        at = e.data + e.size;
    }
    return {};
}

carve_found_s measure_mkv(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const std::uint64_t stop = start + limit;
    std::uint64_t at = 0;
    std::array<char, 16> text{};
    const std::string_view type = doc_type(in, start, at, text);
    element_s segment;
    if ((type != "matroska" && type != "webm") || !read_element(in, at, segment) || segment.id != segment_id)
        return 0;
    if (segment.unknown) {
        const std::uint64_t end = walk(in, segment.data, stop, top_level, true);
        return end > segment.data ? end - start : 0;
    }
    if (segment.size > stop - segment.data)
        return 0;
    const std::uint64_t end = segment.data + segment.size;
    return walk(in, segment.data, end, top_level, true) == end ? end - start : 0;
}

const char* name_mkv(carve_reader_c& in, std::uint64_t start, std::uint64_t)
{
    std::uint64_t end = 0;
    std::array<char, 16> text{};
    return doc_type(in, start, end, text) == "webm" ? "webm" : nullptr;
}

} // namespace

const carve_format_s carve_mkv{"mkv", {"\x1A\x45\xDF\xA3"}, 16ull << 30, measure_mkv, name_mkv};

} // namespace tarn
