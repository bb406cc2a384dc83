// PDF: to the last "%%EOF" of its incremental updates. After an end mark the file goes on only
// when what follows is another update (an object or a cross-reference section); a new "%PDF-"
// header always ends it.

#include "libs/carve/carve_format.h"
#include "libs/carve/pattern_search.h"

#include <array>
#include <cstring>
#include <string_view>

namespace tarn {

namespace {

constexpr std::string_view end_mark = "%%EOF";
constexpr std::string_view header = "%PDF-";

// The end of the next "%%EOF" at or after at (past its line break), 0 when none before limit or
// before another file's header.
std::uint64_t next_end(carve_reader_c& in, std::uint64_t at, std::uint64_t limit)
{
    while (at + end_mark.size() <= limit) {
        const auto bytes = in.view(at, static_cast<std::size_t>(std::min<std::uint64_t>(1 << 20, limit - at)));
        if (bytes.size() < end_mark.size())
            return 0;
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        const auto found = find_either(text, end_mark, header);
        if (found != std::string_view::npos && text.substr(found).starts_with(header))
            return 0; // another file starts before the mark
        if (found != std::string_view::npos) {
            std::uint64_t end = at + found + end_mark.size();
            if (in.byte_at(end) == '\r')
                ++end;
            if (in.byte_at(end) == '\n')
                ++end;
            return end;
        }
        at += bytes.size() - (end_mark.size() - 1);
    }
    return 0;
}

// Whether an incremental update starts at at: digits (an object number) or "xref".
bool update_follows(carve_reader_c& in, std::uint64_t at)
{
    std::array<char, 4> head{};
    if (!in.read(at, std::as_writable_bytes(std::span<char>(head))))
        return false;
    return (head[0] >= '1' && head[0] <= '9') || std::string_view(head.data(), 4) == "xref";
}

carve_found_s measure_pdf(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const int major = in.byte_at(start + 5);
    if (major != '1' && major != '2')
        return 0;
    std::uint64_t end = 0;
    for (std::uint64_t at = start + 8; (at = next_end(in, at, start + limit)) != 0;) {
        end = at;
        if (!update_follows(in, at))
            break;
    }
    return end == 0 ? 0 : end - start;
}

} // namespace

const carve_format_s carve_pdf{"pdf", {header}, 256ull << 20, measure_pdf};

} // namespace tarn
