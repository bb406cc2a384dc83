// JPEG: segments from SOI to EOI. Segments with a length are skipped whole (an embedded EXIF
// thumbnail lies inside APP1 and is never a hit of its own); after SOS the entropy-coded data
// runs to the next marker that is neither a stuffed 00 nor a restart marker. Entropy-coded data
// holds no other file: where another whole file starts on a sector inside it, the JPEG was
// fragmented there. It is joined with the data after that file when decoding the two pieces
// comes out exactly, else cut where the other file starts and reported partial. A JPEG whose
// data breaks without another file in it is cut where it breaks.

#include "libs/carve/formats/jpeg_decode.h"

#include <cstring>

namespace tarn {

namespace {

// The first byte after offset that is 0xFF followed by a real marker; 0 when there is none
// before limit.
std::uint64_t next_marker(carve_reader_c& in, std::uint64_t at, std::uint64_t limit)
{
    while (at + 1 < limit) {
        const auto bytes = in.view(at, static_cast<std::size_t>(std::min<std::uint64_t>(1 << 20, limit - at)));
        if (bytes.size() < 2)
            return 0;
        const auto* first = reinterpret_cast<const unsigned char*>(bytes.data());
        const unsigned char* last = first + bytes.size() - 1; // a marker needs the byte after its 0xFF
        for (const unsigned char* p = first;
             (p = static_cast<const unsigned char*>(std::memchr(p, 0xFF, static_cast<std::size_t>(last - p)))) != nullptr; ++p) {
            const unsigned next = p[1];
            if (next != 0x00 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7))
                return at + static_cast<std::uint64_t>(p - first);
        }
        at += bytes.size() - 1; // the last byte may be the 0xFF of a marker split across views
    }
    return 0;
}

bool segment_marker(unsigned m)
{
    return (m >= 0xC0 && m <= 0xFE) && m != 0xD8 && !(m >= 0xD0 && m <= 0xD7);
}

struct jpeg_walk_s {
    std::uint64_t data = 0;  // where the first scan's data starts, 0 when no scan was reached
    std::uint64_t end = 0;   // past EOI, 0 when the walk broke
    std::uint64_t broke = 0; // where the walk broke after a scan's data
};

jpeg_walk_s walk_jpeg(carve_reader_c& in, std::uint64_t start, std::uint64_t end)
{
    jpeg_walk_s walk;
    std::uint64_t at = start + 2;
    for (int segments = 0; segments < 100000; ++segments) {
        walk.broke = walk.data != 0 ? std::min(at, end) : 0;
        if (at + 2 > end || in.byte_at(at) != 0xFF)
            return walk;
        const int marker = in.byte_at(at + 1);
        if (marker == 0xD9) {
            walk.end = walk.data != 0 ? at + 2 : 0;
            return walk;
        }
        if (marker < 0 || !segment_marker(static_cast<unsigned>(marker)))
            return walk;
        bool ok = true;
        const std::uint16_t length = in.be16(at + 2, ok);
        if (!ok || length < 2)
            return walk;
        at += 2 + length;
        if (marker == 0xDA) {
            walk.data = walk.data != 0 ? walk.data : at;
            const std::uint64_t next = next_marker(in, at, end);
            at = next != 0 ? next : end;
        }
    }
    return walk;
}

// The JPEG at start broken where the whole file other starts: joined with the data after it when
// that decodes exactly, else cut there.
carve_found_s join_or_cut(carve_reader_c& in, std::uint64_t start, std::uint64_t stop, const jpeg_walk_s& walk,
                          const foreign_s& other)
{
    jpeg_decoder_c decoder(in, start, stop);
    if (decoder.run_to(other.at)) {
        const std::vector<std::uint64_t> places = resume_places(other.end, stop);
        std::uint64_t end = 0;
        if (const int at = decoder.finish_first(places, end); at >= 0) {
            carve_found_s joined(other.at - start);
            joined.tail_at = places[static_cast<std::size_t>(at)];
            joined.tail_size = end - joined.tail_at;
            return joined;
        }
    }
    return other.at > walk.data ? carve_found_s::cut(other.at - start) : carve_found_s{};
}

carve_found_s measure_jpeg(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const std::uint64_t stop = start + limit;
    const jpeg_walk_s walk = walk_jpeg(in, start, stop);
    if (walk.data == 0)
        return 0;
    const std::uint64_t reached = walk.end != 0 ? walk.end - 2 : walk.broke;
    foreign_s other;
    if (foreign_file(in, walk.data, reached + 1, stop, other))
        return join_or_cut(in, start, stop, walk, other);
    if (walk.end != 0)
        return walk.end - start;
    return walk.broke > walk.data ? carve_found_s::cut(walk.broke - start) : carve_found_s{};
}

} // namespace

const carve_format_s carve_jpeg{"jpg", {std::string_view("\xFF\xD8\xFF", 3)}, 64ull << 20, measure_jpeg};

} // namespace tarn
