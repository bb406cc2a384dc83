#include "scan/fat_name.h"

#include <iconv.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

namespace tarn {

namespace {

constexpr char16_t unmapped = u'?';

// One UTF-16 unit per code, built once from the system's published CP936 mapping.
struct cp936_table_s {
    std::vector<char16_t> map = std::vector<char16_t>(0x10000, unmapped);

    cp936_table_s()
    {
        iconv_t cd = iconv_open("UTF-16LE", "CP936");
        if (cd == reinterpret_cast<iconv_t>(-1))
            return;
        for (unsigned code = 0x80; code < 0x10000; ++code) {
            if (code > 0xFF && !(cp936_lead_byte(code >> 8) && cp936_trail_byte(code & 0xFF)))
                continue;
            char in[2];
            std::size_t in_left = 0;
            if (code > 0xFF) {
                in[0] = static_cast<char>(code >> 8);
                in[1] = static_cast<char>(code & 0xFF);
                in_left = 2;
            } else {
                in[0] = static_cast<char>(code);
                in_left = 1;
            }
            char out[8];
            char* in_ptr = in;
            char* out_ptr = out;
            std::size_t out_left = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            // Codes that map outside the basic plane or to several units count as unmapped.
            if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<std::size_t>(-1) && in_left == 0
                && out_left == sizeof out - 2)
                map[code] = static_cast<char16_t>(static_cast<unsigned char>(out[0])
                                                  | static_cast<unsigned char>(out[1]) << 8);
        }
        iconv_close(cd);
    }
};

const cp936_table_s& cp936_table()
{
    static const cp936_table_s table;
    return table;
}

std::uint8_t byte_at(std::span<const std::byte, 32> entry, std::size_t i)
{
    return std::to_integer<std::uint8_t>(entry[i]);
}

// Appends the bytes [from, to) of the entry's name; lower selects lower-case ASCII letters.
void decode_part(std::span<const std::byte, 32> entry, std::size_t from, std::size_t to, bool lower,
                 std::array<char16_t, 13>& out, std::size_t& n)
{
    for (std::size_t i = from; i < to; ++i) {
        std::uint8_t c = byte_at(entry, i);
        if (c == ' ')
            break;
        if (i == 0 && c == 0x05) // a real first byte 0xE5 is stored as 0x05
            c = 0xE5;
        if (cp936_lead_byte(c) && i + 1 < to && cp936_trail_byte(byte_at(entry, i + 1))) {
            out[n++] = cp936_to_unicode(static_cast<std::uint16_t>(c << 8 | byte_at(entry, i + 1)));
            ++i;
        } else if (c >= 0x80) {
            out[n++] = cp936_to_unicode(c);
        } else {
            out[n++] = static_cast<char16_t>(lower && c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
        }
    }
}

} // namespace

bool cp936_lead_byte(std::uint8_t b)
{
    return b >= 0x81 && b <= 0xFE;
}

bool cp936_trail_byte(std::uint8_t b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
}

char16_t cp936_to_unicode(std::uint16_t code)
{
    if (code < 0x80)
        return static_cast<char16_t>(code);
    return cp936_table().map[code];
}

std::uint8_t sfn_checksum(std::span<const std::byte, 11> name)
{
    std::uint8_t sum = 0;
    for (std::byte b : name)
        sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + std::to_integer<std::uint8_t>(b));
    return sum;
}

bool fat_short_name_byte(std::uint8_t c)
{
    static constexpr std::string_view illegal = "\"*+,./:;<=>?[\\]|";
    // 0x05 stands for a first byte of 0xE5 (a lead byte in double-byte code pages).
    if (c == 0x05)
        return true;
    return c > 0x20 && c != 0x7F && !(c >= 'a' && c <= 'z') && illegal.find(static_cast<char>(c)) == std::string_view::npos;
}

namespace {

bool ascii_alnum(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

char16_t ascii_upper(char16_t c)
{
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

// The first byte the short name had: the checksum runs over all eleven bytes with the first one
// entering last-shifted, so exactly one value of it gives the long name's checksum.
std::uint8_t original_first_byte(std::span<const std::byte, 32> entry, std::uint8_t lfn_checksum)
{
    std::array<std::byte, 11> name{};
    std::copy_n(entry.begin(), 11, name.begin());
    for (unsigned b = 0; b < 256; ++b) {
        name[0] = std::byte(b);
        if (sfn_checksum(name) == lfn_checksum)
            return static_cast<std::uint8_t>(b);
    }
    return 0;
}

} // namespace

bool deleted_long_name_fits(std::span<const std::byte, 32> short_entry, std::uint8_t lfn_checksum,
                            std::u16string_view long_name, bool terminated)
{
    // The checksum names the short name's lost first byte: it must be one a short name can hold,
    // and an alias begins with the long name's first letter or digit (leading dots and spaces
    // are dropped when aliases are made).
    const std::uint8_t first = original_first_byte(short_entry, lfn_checksum);
    if (!fat_short_name_byte(first))
        return false;
    const auto lead = long_name.find_first_not_of(u". ");
    if (lead != std::u16string_view::npos && ascii_alnum(long_name[lead]) && ascii_upper(long_name[lead]) != first)
        return false;
    if (terminated)
        return true;
    // No terminator: either the name fills its parts exactly, or its first-written part (the
    // name's end) was taken by a newer entry. The extension of an alias comes from the end of
    // the long name, so a name cut short no longer ends in it.
    std::u16string_view ext;
    if (const auto dot = long_name.rfind(u'.'); dot != std::u16string_view::npos)
        ext = long_name.substr(dot + 1);
    std::size_t k = 0;
    for (char16_t c : ext) {
        if (c == u' ')
            continue;
        if (k == 3)
            break;
        const std::uint8_t want = std::to_integer<std::uint8_t>(short_entry[8 + k++]);
        if (c < 0x80 && ascii_upper(c) != want && !(want == '_' && !fat_short_name_byte(static_cast<std::uint8_t>(c))))
            return false;
    }
    for (; k < 3; ++k)
        if (std::to_integer<std::uint8_t>(short_entry[8 + k]) != ' ')
            return false;
    return true;
}

std::array<char16_t, 13> short_name(std::span<const std::byte, 32> entry, bool deleted)
{
    constexpr std::uint8_t lower_base = 0x08;
    constexpr std::uint8_t lower_ext = 0x10;
    const std::uint8_t flags = byte_at(entry, 12);
    std::array<char16_t, 13> out{};
    std::size_t n = 0;
    std::size_t first = 0;
    if (deleted) {
        out[n++] = u'?';
        first = 1;
    }
    decode_part(entry, first, 8, flags & lower_base, out, n);
    if (byte_at(entry, 8) != ' ') {
        out[n++] = u'.';
        decode_part(entry, 8, 11, flags & lower_ext, out, n);
    }
    out[n] = 0;
    return out;
}

} // namespace tarn
