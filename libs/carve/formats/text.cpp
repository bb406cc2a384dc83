#include "libs/carve/formats/text.h"

#include <array>

namespace tarn {

std::size_t text_character(const std::uint8_t* p, std::size_t left)
{
    const std::uint8_t c = p[0];
    if (c >= 0x20 && c < 0x7F)
        return 1;
    if (c < 0x80)
        return c == '\t' || c == '\n' || c == '\f' || c == '\r' ? 1 : 0;
    const std::size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (length == 0 || length > left)
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    // Overlong forms, surrogates and values past U+10FFFF.
    if ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] >= 0xA0) || (c == 0xF0 && p[1] < 0x90) || (c == 0xF4 && p[1] >= 0x90))
        return 0;
    return length;
}

text_run_s text_run(carve_reader_c& in, std::uint64_t at, std::uint64_t stop)
{
    std::array<std::uint8_t, 1 << 16> chunk; // filled by each read
    text_run_s run;
    bool stray = false; // the byte before was no text
    while (at < stop) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), stop - at));
        if (!in.read(at, std::as_writable_bytes(std::span<std::uint8_t>(chunk.data(), want))))
            break;
        // A character cut by the chunk's end is read again with the next chunk.
        const std::size_t keep = want == stop - at ? want : want - 3;
        std::size_t i = 0;
        while (i < keep) {
            const std::size_t length = text_character(chunk.data() + i, want - i);
            if (length == 0) {
                if (chunk[i] < 0x20 || chunk[i] == 0x7F || stray) {
                    run.end = at + i - (stray ? 1 : 0);
                    run.ends_in_zero = chunk[i] == 0 && !stray;
                    return run;
                }
                stray = true;
                ++i;
                continue;
            }
            stray = false;
            if (chunk[i] == '\n')
                run.last_line = at + i + 1;
            i += length;
        }
        at += i;
    }
    run.end = at - (stray ? 1 : 0);
    return run;
}

bool byte_cursor_c::fill()
{
    if (at_ >= stop_)
        return false;
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(step_, stop_ - at_));
    step_ = std::min(step_ * 4, buffer_.size());
    if (!in_.read(at_, std::as_writable_bytes(std::span<std::uint8_t>(buffer_.data(), want))))
        return false;
    buffer_at_ = at_;
    have_ = want;
    return true;
}

} // namespace tarn
