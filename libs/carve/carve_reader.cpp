#include "libs/carve/carve_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <zlib.h>

namespace tarn {

bool carve_reader_c::fill(std::uint64_t offset)
{
    const auto got = source_.read_at(offset, window_);
    window_at_ = offset;
    window_len_ = got > 0 ? static_cast<std::size_t>(got) : 0;
    return window_len_ > 0;
}

bool carve_reader_c::read(std::uint64_t offset, std::span<std::byte> out)
{
    if (out.size() > window_.size())
        return source_.read_at(offset, out) == static_cast<std::int64_t>(out.size());
    if (offset < window_at_ || offset + out.size() > window_at_ + window_len_)
        if (!fill(offset))
            return false;
    if (offset + out.size() > window_at_ + window_len_)
        return false;
    std::memcpy(out.data(), window_.data() + (offset - window_at_), out.size());
    return true;
}

int carve_reader_c::byte_at(std::uint64_t offset)
{
    std::byte b{};
    return read(offset, std::span<std::byte>(&b, 1)) ? std::to_integer<int>(b) : -1;
}

std::uint16_t carve_reader_c::be16(std::uint64_t offset, bool& ok)
{
    std::byte b[2]{};
    ok = ok && read(offset, b);
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(b[0]) << 8 | std::to_integer<unsigned>(b[1]));
}

std::uint32_t carve_reader_c::be32(std::uint64_t offset, bool& ok)
{
    const std::uint32_t high = be16(offset, ok);
    return high << 16 | be16(offset + 2, ok);
}

std::uint64_t carve_reader_c::be64(std::uint64_t offset, bool& ok)
{
    const std::uint64_t high = be32(offset, ok);
    return high << 32 | be32(offset + 4, ok);
}

std::uint16_t carve_reader_c::le16(std::uint64_t offset, bool& ok)
{
    std::byte b[2]{};
    ok = ok && read(offset, b);
    return load_le16(b, 0);
}

std::uint32_t carve_reader_c::le32(std::uint64_t offset, bool& ok)
{
    std::byte b[4]{};
    ok = ok && read(offset, b);
    return load_le32(b, 0);
}

std::uint64_t carve_reader_c::le64(std::uint64_t offset, bool& ok)
{
    std::byte b[8]{};
    ok = ok && read(offset, b);
    return load_le64(b, 0);
}

std::uint64_t carve_reader_c::find(std::uint64_t from, std::uint64_t stop, std::string_view pattern)
{
    if (pattern.empty() || pattern.size() > 16)
        return stop;
    if (pattern != memo_.pattern || from < memo_.from || from > memo_.to)
        memo_ = {std::string(pattern), from, from, {}};
    auto at = std::lower_bound(memo_.found.begin(), memo_.found.end(), from);
    if (at == memo_.found.end()) {
        search_on(from, stop);
        at = std::lower_bound(memo_.found.begin(), memo_.found.end(), from);
    }
    return at != memo_.found.end() && *at + pattern.size() <= stop ? *at : stop;
}

// Drops the offsets before from, which the search that asks has passed; false when there are none.
bool carve_reader_c::make_room(std::uint64_t from)
{
    const auto passed = std::lower_bound(memo_.found.begin(), memo_.found.end(), from);
    if (passed == memo_.found.begin())
        return false;
    memo_.from = *(passed - 1) + 1;
    memo_.found.erase(memo_.found.begin(), passed);
    return true;
}

bool carve_reader_c::crc32(std::uint64_t offset, std::uint64_t length, std::uint32_t& crc)
{
    std::array<std::byte, 1 << 16> step; // filled by each read
    uLong sum = crc;
    for (std::uint64_t done = 0; done < length;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(step.size(), length - done));
        if (!read(offset + done, std::span<std::byte>(step.data(), want)))
            return false;
        sum = ::crc32(sum, reinterpret_cast<const Bytef*>(step.data()), static_cast<uInt>(want));
        done += want;
    }
    crc = static_cast<std::uint32_t>(sum);
    return true;
}

void carve_reader_c::search_on(std::uint64_t from, std::uint64_t stop)
{
    std::array<char, 1 << 16> chunk; // filled by each read
    const std::string_view pattern = memo_.pattern;
    while (memo_.to + pattern.size() <= stop) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), stop - memo_.to));
        if (!read(memo_.to, std::as_writable_bytes(std::span<char>(chunk.data(), want)))) {
            memo_ = {};
            return;
        }
        const std::string_view text(chunk.data(), want);
        bool reached = false;
        for (auto i = text.find(pattern); i != std::string_view::npos; i = text.find(pattern, i + 1)) {
            if (memo_.found.size() == most_kept && !make_room(from)) {
                memo_.to = memo_.found.back() + 1; // what follows is searched again when asked for
                return;
            }
            memo_.found.push_back(memo_.to + i);
            reached |= memo_.to + i >= from;
        }
        memo_.to += want - pattern.size() + 1;
        if (reached)
            return;
    }
}

} // namespace tarn
