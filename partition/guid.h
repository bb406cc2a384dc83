#pragma once
// GUIDs as GPT stores them: the first three fields little-endian, the last eight bytes as they
// are. Type GUIDs are written in their usual text form and turned into disk bytes at compile
// time, so that a table of them reads like the documents that define them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <QString>

namespace tarn {

using guid_s = std::array<std::byte, 16>;

namespace guid_detail {

constexpr std::uint8_t hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<std::uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<std::uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<std::uint8_t>(c - 'A' + 10);
    throw "not a hexadecimal digit"; // only ever evaluated at compile time
}

// The text's hexadecimal digits in order, dashes skipped: 16 bytes as written.
constexpr std::array<std::uint8_t, 16> text_bytes(std::string_view text)
{
    std::array<std::uint8_t, 16> out{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '-')
            continue;
        out[n / 2] = static_cast<std::uint8_t>(out[n / 2] << 4 | hex_digit(text[i]));
        ++n;
    }
    if (n != 32)
        throw "a GUID has 32 hexadecimal digits";
    return out;
}

} // namespace guid_detail

// "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7" as it lies on the disk.
consteval guid_s guid_from_text(std::string_view text)
{
    const auto t = guid_detail::text_bytes(text);
    // Fields 1-3 are stored little-endian, the rest byte for byte.
    constexpr std::size_t order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    guid_s out{};
    for (std::size_t i = 0; i < 16; ++i)
        out[i] = static_cast<std::byte>(t[order[i]]);
    return out;
}

inline constexpr guid_s null_guid{};

// A random (version 4) GUID in disk order.
guid_s random_guid();

// The usual upper-case text form of a GUID given in disk order.
QString guid_text(const guid_s& guid);

} // namespace tarn
