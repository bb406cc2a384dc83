#include "libs/carve/carve_reader.h"

#include <cstring>

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

} // namespace tarn
