#include "libs/carve/formats/text.h"

#include <algorithm>
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

namespace {

// The last run of text read through a reader. A run from a later start inside it, on a character's
// first byte, is the rest of it: the run reads the same bytes from there on, and a stray byte
// before that start changes nothing once a character follows. Without this, each of many
// candidates in one long run of text (HTML openings over and over) reads the run to its end.
struct text_memo_s final : carve_memo_i {
    std::uint64_t from = 0;
    std::uint64_t stop = 0;
    bool by_stop = true; // the run ended at stop, or where a read failed
    text_run_s run;
};

constexpr char memo_key = 0;

bool continuation(carve_reader_c& in, std::uint64_t at)
{
    const int c = in.byte_at(at);
    return c >= 0x80 && c < 0xC0;
}

// The run from at as the memo tells it; false when the memo does not hold it.
bool remembered_run(carve_reader_c& in, std::uint64_t at, std::uint64_t stop, text_run_s& run)
{
    const text_memo_s& memo = in.memo<text_memo_s>(&memo_key);
    // A run that a byte ended looked at most five bytes past its end (a stray byte, then a
    // character of four): a stop past those sees the same bytes.
    const auto past = [&](std::uint64_t s) { return s >= memo.run.end + 5; };
    const bool same_bytes = stop == memo.stop || (!memo.by_stop && past(memo.stop) && past(stop));
    if (at <= memo.from || at >= memo.run.end || !same_bytes || continuation(in, at))
        return false;
    run = memo.run;
    run.last_line = memo.run.last_line > at ? memo.run.last_line : 0;
    return true;
}

enum class run_end_e { byte, stop, failed };

// The run from at, read in chunks that start small: most runs are short.
text_run_s read_run(carve_reader_c& in, std::uint64_t at, std::uint64_t stop, run_end_e& how)
{
    std::array<std::uint8_t, 1 << 16> chunk; // filled by each read
    std::size_t step = 256;
    text_run_s run;
    bool stray = false; // the byte before was no text
    while (at < stop) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(step, stop - at));
        step = std::min(step * 4, chunk.size());
        if (!in.read(at, std::as_writable_bytes(std::span<std::uint8_t>(chunk.data(), want)))) {
            how = run_end_e::failed;
            break;
        }
        // A character cut by the chunk's end is read again with the next chunk.
        const std::size_t keep = want == stop - at ? want : want - 3;
        std::size_t i = 0;
        while (i < keep) {
            const std::size_t length = text_character(chunk.data() + i, want - i);
            if (length == 0) {
                if (chunk[i] < 0x20 || chunk[i] == 0x7F || stray) {
                    run.end = at + i - (stray ? 1 : 0);
                    run.ends_in_zero = chunk[i] == 0 && !stray;
                    how = run_end_e::byte;
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

} // namespace

text_run_s text_run(carve_reader_c& in, std::uint64_t at, std::uint64_t stop)
{
    text_run_s run;
    if (remembered_run(in, at, stop, run))
        return run;
    run_end_e how = run_end_e::stop;
    run = read_run(in, at, stop, how);
    text_memo_s& memo = in.memo<text_memo_s>(&memo_key);
    if (how != run_end_e::failed) {
        memo.from = at;
        memo.stop = stop;
        memo.by_stop = how == run_end_e::stop;
        memo.run = run;
    }
    return run;
}

std::uint64_t with_copies(carve_reader_c& in, std::uint64_t start, std::uint64_t size, std::uint64_t stop)
{
    // The bytes repeat with the file's size as their period as far as each equals the one a file
    // before it; compared a chunk at a time.
    std::array<std::uint8_t, 1 << 12> earlier, here; // filled by each read
    std::uint64_t at = start + size;
    // Most files differ from the bytes after them at once: the reads start small.
    for (std::size_t step = 64; size != 0 && at < stop; step = std::min(step * 4, here.size())) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(step, stop - at));
        if (!in.read(at - size, std::as_writable_bytes(std::span<std::uint8_t>(earlier.data(), want)))
            || !in.read(at, std::as_writable_bytes(std::span<std::uint8_t>(here.data(), want))))
            break;
        const auto differ = std::mismatch(earlier.begin(), earlier.begin() + static_cast<std::ptrdiff_t>(want), here.begin());
        at += static_cast<std::uint64_t>(differ.first - earlier.begin());
        if (differ.first != earlier.begin() + static_cast<std::ptrdiff_t>(want))
            break;
    }
    const std::uint64_t copies = size == 0 ? 0 : (at - start) / size - 1;
    return copies >= 2 ? (copies + 1) * size : size;
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
