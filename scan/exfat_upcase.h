#pragma once
// The up-case table of an exFAT volume, by which a name's hash in its stream extension entry is
// made: a name that hashes to that value is the name the set was written with. A table that is
// missing, short or fails its checksum is not trusted; the simple case mapping of Unicode, which
// the usual tables follow, stands in for it.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace tarn {

class exfat_upcase_c {
public:
    exfat_upcase_c();
    // Reads a table (compressed or not) from its bytes; false, leaving the stand-in, when its
    // checksum is not the expected one or it maps fewer than the 128 ASCII characters.
    bool assign(std::span<const std::byte> bytes, std::uint32_t expected_checksum);
    bool from_volume() const { return from_volume_; }
    char16_t upper(char16_t c) const { return table_[c]; }
    // The 16-bit hash of the name's up-cased characters, as the stream extension keeps it.
    std::uint16_t name_hash(std::u16string_view name) const;

private:
    std::array<char16_t, 65536> table_{};
    bool from_volume_ = false;
};

// The 32-bit checksum exFAT keeps for its up-case table.
std::uint32_t exfat_table_checksum(std::span<const std::byte> bytes);

} // namespace tarn
