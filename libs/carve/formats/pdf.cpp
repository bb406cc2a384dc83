// PDF: to the last "%%EOF" of its incremental updates. After an end mark the file goes on only
// when what follows is another update (an object or a cross-reference section); a new "%PDF-"
// header always ends it. A PDF cut short (no end mark before the next header or its largest
// size) is cut after its last whole object and reported partial: its objects follow one another
// from the header on, and the bytes of its content streams are the document's, not text files.

#include "libs/carve/carve_format.h"
#include "libs/carve/pattern_search.h"

#include <array>
#include <cstring>
#include <string_view>

namespace tarn {

namespace {

constexpr std::string_view end_mark = "%%EOF";
constexpr std::string_view header = "%PDF-";
constexpr std::string_view object_end = "endobj";

// Past the line break at at, if one is there.
std::uint64_t past_line_break(carve_reader_c& in, std::uint64_t at)
{
    if (in.byte_at(at) == '\r')
        ++at;
    if (in.byte_at(at) == '\n')
        ++at;
    return at;
}

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
            return past_line_break(in, at + found + end_mark.size());
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

bool pdf_space(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == 0; }

// Past the white space and comment lines from at (a comment runs to its line's end).
std::uint64_t skip_space(carve_reader_c& in, std::uint64_t at, std::uint64_t limit)
{
    for (int c; at < limit && (c = in.byte_at(at)) >= 0;) {
        if (c == '%') {
            while (at < limit && (c = in.byte_at(at)) >= 0 && c != '\r' && c != '\n')
                ++at;
        } else if (pdf_space(c)) {
            ++at;
        } else {
            break;
        }
    }
    return at;
}

// Past "N G obj" at at (an object's number, generation and keyword), 0 when no object starts there.
std::uint64_t object_head(carve_reader_c& in, std::uint64_t at)
{
    std::array<char, 24> head{};
    const auto room = static_cast<std::size_t>(std::min<std::uint64_t>(head.size(), in.size() - std::min(at, in.size())));
    if (!in.read(at, std::as_writable_bytes(std::span<char>(head.data(), room))))
        return 0;
    std::size_t i = 0;
    for (int number = 0; number < 2; ++number) {
        const std::size_t digits = i;
        while (i < room && head[i] >= '0' && head[i] <= '9')
            ++i;
        if (i == digits || i - digits > 10 || i == room || !pdf_space(head[i]))
            return 0;
        while (i < room && pdf_space(head[i]))
            ++i;
    }
    return std::string_view(head.data() + i, room - i).starts_with("obj") ? at + i + 3 : 0;
}

// The end of the last whole object of a PDF without an end mark, walking object by object from
// its header line; 0 when not one object is whole. The walk ends at the first bytes that are no
// object, at another file's header, and at limit.
std::uint64_t last_whole_object(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    std::uint64_t last = 0;
    for (std::uint64_t at = skip_space(in, start, limit); at < limit;) {
        const std::uint64_t body = object_head(in, at);
        if (body == 0)
            break;
        const std::uint64_t end = in.find(body, limit, object_end);
        const std::uint64_t next = in.find(body, end, header);
        if (end >= limit || next < end)
            break;
        last = std::min(past_line_break(in, end + object_end.size()), limit);
        at = skip_space(in, last, limit);
    }
    return last;
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
    if (end != 0)
        return end - start;
    const std::uint64_t cut = last_whole_object(in, start, start + limit);
    return cut == 0 ? 0 : carve_found_s::cut(cut - start);
}

} // namespace

const carve_format_s carve_pdf{"pdf", {header}, 256ull << 20, measure_pdf};

} // namespace tarn
