// TAR (POSIX ustar and GNU): 512-byte headers whose checksums must match, each followed by its
// data rounded up to 512 bytes, to the two zero blocks that end the archive; the zero blocks that
// pad it to the writer's record size (10,240 bytes) belong to it too. The pattern is the "ustar"
// magic, 257 bytes into the first header.

#include "libs/carve/carve_format.h"
#include "libs/carve/walk_memo.h"

#include <array>

namespace tarn {

namespace {

constexpr std::uint64_t block = 512;
constexpr std::uint64_t record = 10240;
constexpr int most_members = 1 << 22;

// An octal field (spaces and zeros around it allowed), or a base-256 number when its first byte
// has the high bit; false when it is neither.
bool number(const std::array<std::uint8_t, block>& h, std::size_t at, std::size_t length, std::uint64_t& value)
{
    value = 0;
    if ((h[at] & 0x80) != 0) {
        for (std::size_t i = 1; i < length; ++i)
            value = value << 8 | h[at + i];
        return length <= 9 || value >> 56 == 0;
    }
    bool digits = false;
    for (std::size_t i = at; i < at + length; ++i) {
        const std::uint8_t c = h[i];
        if (c >= '0' && c <= '7') {
            value = value << 3 | (c - '0');
            digits = true;
        } else if (c == ' ' || c == 0) {
            if (digits)
                break;
        } else {
            return false;
        }
    }
    return true;
}

enum class header_e { member, zero, bad };

header_e read_header(carve_reader_c& in, std::uint64_t at, std::uint64_t& data)
{
    std::array<std::uint8_t, block> h{};
    if (!in.read(at, std::as_writable_bytes(std::span<std::uint8_t>(h))))
        return header_e::bad;
    // The checksum counts its own field as spaces. One plain sum over the block, which the
    // compiler vectorizes: a volume may hold a header every 512 bytes.
    std::uint64_t sum = 0, stored = 0;
    for (const std::uint8_t b : h)
        sum += b;
    if (sum == 0)
        return header_e::zero;
    for (std::size_t i = 148; i < 156; ++i)
        sum = sum - h[i] + ' ';
    if (!number(h, 148, 8, stored) || stored != sum || !number(h, 124, 12, data))
        return header_e::bad;
    // Links, folders and devices carry no data whatever their size field says.
    const std::uint8_t type = h[156];
    if (type == '1' || type == '2' || type == '3' || type == '4' || type == '5' || type == '6')
        data = 0;
    return header_e::member;
}

// The archive's end when the zero blocks that end it are at at; 0 when they are not.
std::uint64_t archive_end(carve_reader_c& in, std::uint64_t start, std::uint64_t at, std::uint64_t stop)
{
    std::uint64_t ignored = 0;
    if (at + 2 * block > stop || read_header(in, at + block, ignored) != header_e::zero)
        return 0;
    at += 2 * block;
    // Zero blocks up to the record's end, as far as they are there and zero.
    while ((at - start) % record != 0 && at + block <= stop && read_header(in, at, ignored) == header_e::zero)
        at += block;
    return at;
}

// The member headers walked from start to the zero blocks. A walk that comes to nothing is kept:
// every member header of a TAR is a candidate of its own, and a later one that lands on a header
// this walk passed ends the same way (the record padding counts from the start, so only failures
// are kept).
carve_found_s measure_tar(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    static constexpr char key = 0;
    walk_memo_c& memo = in.memo<walk_memo_c>(&key);
    const std::uint64_t stop = start + limit;
    walk_path_c path;
    std::uint64_t at = start;
    for (int members = 0; members < most_members; ++members) {
        if (memo.outcome(at, stop) != nullptr)
            return 0;
        std::uint64_t data = 0;
        const header_e header = at + block <= stop ? read_header(in, at, data) : header_e::bad;
        const std::uint64_t next = at + block + (data + block - 1) / block * block;
        const std::uint64_t end = header == header_e::zero && members != 0 ? archive_end(in, start, at, stop) : 0;
        if (end != 0)
            return end - start;
        if (header != header_e::member || data > limit || next > stop) {
            memo.keep(in, std::move(path), {}, stop, at + 2 * block > stop || next > stop);
            return 0;
        }
        path.pass(at);
        at = next;
    }
    return 0;
}

} // namespace

const carve_format_s carve_tar{"tar", {"ustar"}, 16ull << 30, measure_tar, nullptr, 257};

} // namespace tarn
