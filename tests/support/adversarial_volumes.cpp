#include "tests/support/adversarial_volumes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string_view>
#include <zlib.h>

namespace tarn {

namespace {

void put(std::vector<std::byte>& v, std::size_t at, std::string_view bytes)
{
    std::memcpy(v.data() + at, bytes.data(), bytes.size());
}

void put_le(std::vector<std::byte>& v, std::size_t at, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        v[at + static_cast<std::size_t>(i)] = static_cast<std::byte>(value >> (8 * i));
}

std::uint32_t crc_of(const std::vector<std::byte>& v, std::size_t at, std::size_t length)
{
    return static_cast<std::uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(v.data() + at), static_cast<uInt>(length)));
}

} // namespace

std::vector<std::byte> random_volume(std::size_t size)
{
    std::vector<std::byte> v(size);
    std::mt19937_64 random(11);
    for (std::size_t i = 0; i + 8 <= size; i += 8)
        put_le(v, i, random(), 8);
    return v;
}

std::vector<std::byte> tar_headers_volume(std::size_t size)
{
    std::vector<std::byte> v(size);
    for (std::size_t at = 0; at + 512 <= size; at += 512) {
        put(v, at, "empty.txt");
        put(v, at + 100, "0000644");
        put(v, at + 124, "00000000000");
        put(v, at + 136, "14567654321");
        v[at + 156] = std::byte{'0'};
        put(v, at + 257, std::string_view("ustar\0" "00", 8));
        put(v, at + 148, "        ");
        unsigned sum = 0;
        for (std::size_t i = 0; i < 512; ++i)
            sum += std::to_integer<unsigned>(v[at + i]);
        char field[8];
        std::snprintf(field, sizeof field, "%06o", sum);
        put(v, at + 148, std::string_view(field, 7)); // six digits and their zero, then the space
    }
    return v;
}

std::vector<std::byte> sevenzip_signatures_volume(std::size_t size)
{
    std::vector<std::byte> v(size);
    const std::size_t header = size - size / 4;
    std::fill(v.begin() + static_cast<std::ptrdiff_t>(header), v.end(), std::byte{0x01});
    for (std::size_t at = 0; at + 32 <= header; at += 33) {
        put(v, at, std::string_view("7z\xBC\xAF\x27\x1C\x00\x04", 8));
        put_le(v, at + 12, header - (at + 32), 8);
        put_le(v, at + 20, size - header, 8);
        put_le(v, at + 28, 0x12345678, 4); // not the end header's CRC
        put_le(v, at + 8, crc_of(v, at + 12, 20), 4);
    }
    return v;
}

std::vector<std::byte> rar4_blocks_volume(std::size_t size)
{
    std::vector<std::byte> v(size);
    const std::string_view signature("Rar!\x1A\x07\x00", 7);
    put(v, 0, signature);
    for (std::size_t at = 7; at + 32 <= size; at += 32) {
        // The archive's main header, then sub-blocks with no data after their headers.
        v[at + 2] = at == 7 ? std::byte{0x73} : std::byte{0x7A};
        put_le(v, at + 5, 32, 2);
        put(v, at + 25, signature);
        put_le(v, at, crc_of(v, at + 2, 30) & 0xFFFF, 2);
    }
    return v;
}

std::vector<std::byte> zip_locals_volume(std::size_t size)
{
    std::vector<std::byte> v(size);
    constexpr std::size_t step = 64, name = 5, data = step - 30 - name;
    for (std::size_t at = 0; at + 30 + name <= size; at += step) {
        put(v, at, std::string_view("PK\x03\x04\x14\x00\x00\x00\x00\x00", 10));
        put_le(v, at + 14, 0x12345678, 4); // not the data's CRC
        put_le(v, at + 18, at + step < size ? data : data + 1, 4);
        put_le(v, at + 22, at + step < size ? data : data + 1, 4);
        put_le(v, at + 26, name, 2);
        put(v, at + 30, "a.txt");
    }
    return v;
}

std::vector<std::byte> repeated_json_volume(std::size_t size)
{
    std::vector<std::byte> v(size);
    const std::string_view record = R"({"aaaaaaaaaa":1})";
    for (std::size_t at = 0; at + record.size() <= size; at += record.size())
        put(v, at, record);
    return v;
}

} // namespace tarn
