#pragma once
// One interface for every place the parsers read bytes from: a disk or volume device, an offset
// window on an image file, or a buffer in memory (tests and fuzzing).

#include "platform/mapped_bytes.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarn {

class byte_source_c {
public:
    virtual ~byte_source_c() = default;
    // Reads up to out.size() bytes at offset. Returns the number of bytes read (short only at
    // the end of the source) or a negative value when the I/O itself failed.
    virtual std::int64_t read_at(std::uint64_t offset, std::span<std::byte> out) = 0;
    virtual std::uint64_t size() const = 0;
    // The length bytes at offset seen in place, without a copy, where the source is a plain file or
    // disk (mapped_bytes_c); an empty map where it is not, or where they are better read.
    virtual mapped_bytes_c map_at(std::uint64_t /*offset*/, std::size_t /*length*/) { return {}; }
};

// Explicit little-endian loads over disk bytes; callers have checked the span's length.
inline std::uint16_t load_le16(std::span<const std::byte> b, std::size_t at)
{
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(b[at])
                                      | std::to_integer<unsigned>(b[at + 1]) << 8);
}

inline std::uint32_t load_le32(std::span<const std::byte> b, std::size_t at)
{
    return static_cast<std::uint32_t>(load_le16(b, at)) | static_cast<std::uint32_t>(load_le16(b, at + 2)) << 16;
}

inline std::uint64_t load_le64(std::span<const std::byte> b, std::size_t at)
{
    return static_cast<std::uint64_t>(load_le32(b, at)) | static_cast<std::uint64_t>(load_le32(b, at + 4)) << 32;
}

inline void store_le16(std::span<std::byte> b, std::size_t at, std::uint16_t v)
{
    b[at] = static_cast<std::byte>(v & 0xFF);
    b[at + 1] = static_cast<std::byte>(v >> 8);
}

inline void store_le32(std::span<std::byte> b, std::size_t at, std::uint32_t v)
{
    store_le16(b, at, static_cast<std::uint16_t>(v & 0xFFFF));
    store_le16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

inline void store_le64(std::span<std::byte> b, std::size_t at, std::uint64_t v)
{
    store_le32(b, at, static_cast<std::uint32_t>(v & 0xFFFFFFFF));
    store_le32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}

} // namespace tarn
