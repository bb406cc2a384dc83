// Plain text has no header: it is tried only at sector starts, where file systems put files, and
// only where the bytes before are no text themselves (a sector in the middle of a text is not a
// file of its own). It runs as far as the text does, but not over a file of a text format that
// starts inside it (an RTF, XML, HTML or JSON file right after a few stray bytes is that file,
// not text); when it is followed by zero bytes (a file's slack) it ends there, otherwise after its
// last line break, as the bytes after it may be text by chance.

#include "libs/carve/formats/fragments.h"
#include "libs/carve/formats/text.h"

#include <algorithm>
#include <array>


namespace tarn {

namespace {

constexpr std::uint64_t shortest = 64;
constexpr std::size_t look_back = 16;

bool text_sector(const std::uint8_t* first, std::size_t length)
{
    for (std::size_t i = 0; i < length;) {
        const std::size_t n = text_character(first + i, length - i);
        if (n == 0)
            return i + 4 > length && first[i] >= 0x80; // a character cut by the probe's end
        i += n;
    }
    return true;
}

// Whether the bytes just before at go on as text (then at is inside a text, not its start), read
// as the text run reads them: UTF-8, with no two stray bytes in a row. Bytes that are never UTF-8
// (a cluster of 0xFF, say) are no text, so a text right after them is found. The bytes looked at
// may begin inside a character, and end inside one (at cuts it: at is inside the text too).
bool text_before(carve_reader_c& in, std::uint64_t at)
{
    std::array<std::uint8_t, look_back> before{};
    if (at < look_back || !in.read(at - look_back, std::as_writable_bytes(std::span<std::uint8_t>(before))))
        return false;
    std::size_t i = 0;
    while (i < 3 && (before[i] & 0xC0) == 0x80)
        ++i;
    bool stray = false;
    while (i < look_back) {
        const std::size_t n = text_character(before.data() + i, look_back - i);
        if (n != 0) {
            stray = false;
            i += n;
            continue;
        }
        const std::uint8_t c = before[i];
        if (c >= 0xC2 && c <= 0xF4 && i + 4 > look_back
            && std::all_of(before.begin() + static_cast<std::ptrdiff_t>(i) + 1, before.end(),
                           [](std::uint8_t b) { return (b & 0xC0) == 0x80; }))
            return true;
        if (c < 0x80 || stray)
            return false;
        stray = true;
        ++i;
    }
    return true;
}

carve_found_s measure_txt(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    if (text_before(in, start))
        return 0;
    const text_run_s run = text_run(in, start, start + limit);
    // A file of a text format opens with one of these.
    foreign_s inner;
    if (file_opened_by(in, start + 1, run.end, in.size(), "{[<", inner)) {
        const text_run_s before = text_run(in, start, inner.at);
        return before.last_line != 0 && inner.at >= start + shortest ? inner.at - start : 0;
    }
    const std::uint64_t end = run.ends_in_zero || run.end == in.size() ? run.end : run.last_line;
    return run.last_line != 0 && end >= start + shortest ? end - start : 0;
}

} // namespace

const carve_format_s carve_txt{"txt", {}, 64ull << 20, measure_txt, nullptr, 0, text_sector};

} // namespace tarn
