#pragma once
// Names of FAT directory entries: 8.3 names in code page 936 with the lower-case flags, and
// the checksum that ties long-name entries to their short entry.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tarn {

// UTF-16 for a code page 936 code (one byte below 0x100, else lead byte << 8 | trail byte);
// "?" for a code without a mapping.
char16_t cp936_to_unicode(std::uint16_t code);
bool cp936_lead_byte(std::uint8_t b);
bool cp936_trail_byte(std::uint8_t b);

// Checksum over the eleven name bytes of a short entry.
std::uint8_t sfn_checksum(std::span<const std::byte, 11> name);

// The 8.3 name of a 32-byte entry, zero-terminated. A deleted entry's first byte is lost: the
// name starts with the placeholder "?" and decoding continues at the second byte.
std::array<char16_t, 13> short_name(std::span<const std::byte, 32> entry, bool deleted);

} // namespace tarn
