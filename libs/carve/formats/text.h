#pragma once
// Text without a binary header (plain text, XML, HTML, JSON, RTF): valid UTF-8 of printable
// characters and the usual white space. A run of text ends at a zero byte, a control character,
// or two bytes in a row that are no UTF-8.

#include "libs/carve/carve_format.h"

#include <array>

namespace tarn {

// The length of the valid UTF-8 character at p (at most left bytes), 0 when there is none; control
// characters other than tab, line feed, form feed and carriage return are no text.
std::size_t text_character(const std::uint8_t* p, std::size_t left);

struct text_run_s {
    std::uint64_t end = 0;      // the first byte past the text
    bool ends_in_zero = false; // the text ends where zero bytes begin (a file's slack)
    std::uint64_t last_line = 0; // past the last line break in the text, 0 when none
};

// The run of text from at, no further than stop.
text_run_s text_run(carve_reader_c& in, std::uint64_t at, std::uint64_t stop);

// A text file of size bytes at start followed at once by two or more copies of itself, byte for
// byte, is one pattern repeated (filler, a test pattern), not as many files: the size of it and
// all its whole copies before stop. Otherwise size, so that a file saved twice in a row is still
// found twice.
std::uint64_t with_copies(carve_reader_c& in, std::uint64_t start, std::uint64_t size, std::uint64_t stop);

// Bytes taken one at a time through a buffer, for the parsers that walk text character by
// character (JSON, RTF).
class byte_cursor_c {
public:
    byte_cursor_c(carve_reader_c& in, std::uint64_t at, std::uint64_t stop) : in_(in), at_(at), stop_(stop) {}
    // The byte at the cursor, -1 at stop or on a read failure.
    int peek()
    {
        if (at_ >= buffer_at_ + have_ && !fill())
            return -1;
        return buffer_[at_ - buffer_at_];
    }
    int next()
    {
        const int c = peek();
        at_ += c >= 0 ? 1 : 0;
        return c;
    }
    std::uint64_t at() const { return at_; }
    void skip(std::uint64_t n) { at_ = n > stop_ - at_ ? stop_ : at_ + n; }

private:
    bool fill();

    carve_reader_c& in_;
    std::uint64_t at_;
    const std::uint64_t stop_;
    // Most candidates fail within their first bytes (random data after a two-byte pattern): the
    // reads behind the cursor start small and grow, and the buffer is not cleared.
    std::array<std::uint8_t, 1 << 14> buffer_;
    std::size_t step_ = 256;
    std::uint64_t buffer_at_ = 0;
    std::size_t have_ = 0;
};

} // namespace tarn
