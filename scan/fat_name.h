#pragma once
// Names of FAT directory entries: 8.3 names in code page 936 with the lower-case flags, and
// the checksum that ties long-name entries to their short entry.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tarn {

// UTF-16 for a code page 936 code (one byte below 0x100, else lead byte << 8 | trail byte);
// "?" for a code without a mapping.
char16_t cp936_to_unicode(std::uint16_t code);
bool cp936_lead_byte(std::uint8_t b);
bool cp936_trail_byte(std::uint8_t b);

// Whether a byte may stand in a short name (space, which pads, is not one of them).
bool fat_short_name_byte(std::uint8_t c);

// Checksum over the eleven name bytes of a short entry.
std::uint8_t sfn_checksum(std::span<const std::byte, 11> name);

// Whether a deleted long name still belongs, whole, to the deleted short entry it precedes.
// A deletion overwrites every first byte, so neither the long-name order numbers nor the short
// name's first character survive; what is left must agree instead. terminated: the name's last
// part ends in a terminator (it does unless the length is a multiple of 13).
bool deleted_long_name_fits(std::span<const std::byte, 32> short_entry, std::uint8_t lfn_checksum,
                            std::u16string_view long_name, bool terminated);

// The 8.3 name of a 32-byte entry, zero-terminated. A deleted entry's first byte is lost: the
// name starts with the placeholder "?" and decoding continues at the second byte.
std::array<char16_t, 13> short_name(std::span<const std::byte, 32> entry, bool deleted);

} // namespace tarn
