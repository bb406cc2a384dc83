// RTF: from "{\rtf" to the brace that closes the first one, escapes and binary runs ("\binN")
// stepped over; every other byte must be 7-bit text, as RTF writers escape everything else. The
// line break after the last brace is kept.

#include "libs/carve/formats/text.h"

namespace tarn {

namespace {

constexpr int deepest = 1 << 12;
// An RTF writer's own header (character set, fonts) alone is longer.
constexpr std::uint64_t shortest = 32;

bool seven_bit(int c)
{
    return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r';
}

// After "\bin": its decimal count and the space, then that many bytes skipped.
bool skip_binary(byte_cursor_c& c)
{
    std::uint64_t count = 0;
    int digits = 0;
    for (int d = c.peek(); d >= '0' && d <= '9' && digits < 10; d = c.peek(), ++digits)
        count = count * 10 + static_cast<std::uint64_t>(c.next() - '0');
    if (digits == 0)
        return false;
    if (c.peek() == ' ')
        c.next();
    c.skip(count);
    return true;
}

carve_found_s measure_rtf(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    byte_cursor_c c(in, start, start + limit);
    int depth = 0;
    for (int ch = c.next(); ch >= 0; ch = c.next()) {
        if (ch == '\\') {
            const int escaped = c.next();
            if (escaped == 'b' && c.peek() == 'i' && (c.next(), c.next() == 'n') && c.peek() >= '0' && c.peek() <= '9'
                && !skip_binary(c))
                return 0;
            if (escaped < 0 || !seven_bit(escaped))
                return 0;
        } else if (ch == '{') {
            if (++depth > deepest)
                return 0;
        } else if (ch == '}') {
            if (--depth == 0) {
                if (c.peek() == '\r')
                    c.next();
                if (c.peek() == '\n')
                    c.next();
                const std::uint64_t size = with_copies(in, start, c.at() - start, start + limit);
                return size >= shortest ? size : 0;
            }
        } else if (!seven_bit(ch)) {
            return 0;
        }
    }
    return 0;
}

} // namespace

const carve_format_s carve_rtf{"rtf", {"{\\rtf1"}, 256ull << 20, measure_rtf};

} // namespace tarn
