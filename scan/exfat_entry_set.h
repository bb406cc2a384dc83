#pragma once
// exFAT directory entry sets: a file entry followed by its secondary entries, the stream
// extension (first cluster, sizes, NoFatChain) and the file name entries, guarded by one
// checksum over the whole set. Deleting a file clears the in-use bit of every entry of its set
// and leaves the rest, so a deleted set is read like a live one, its checksum taken with the bits
// set back.

#include "scan/exfat_upcase.h"

#include <cstdint>
#include <span>
#include <string>

namespace tarn {

inline constexpr std::size_t exfat_entry_bytes = 32;

enum : std::uint8_t {
    exfat_entry_end = 0x00, // never used: the folder's entries end here
    exfat_entry_in_use = 0x80,
    exfat_entry_secondary = 0x40, // the category bit: a secondary entry of a set
    exfat_entry_file = 0x85,
    exfat_entry_stream = 0xC0,
    exfat_entry_name = 0xC1,
    exfat_entry_bitmap = 0x81,
    exfat_entry_upcase = 0x82,
    exfat_entry_label = 0x83,
};

enum : std::uint16_t { exfat_attr_directory = 0x10 };
enum : std::uint8_t { exfat_flag_no_fat_chain = 0x02 };
inline constexpr std::size_t exfat_name_max = 255;

struct exfat_file_set_s {
    bool deleted = false;     // the set's entries are marked not in use
    bool checksum_ok = false; // every entry the set names is there and the checksum holds
    bool name_whole = false;  // every character of the name is there and their hash agrees
    std::uint16_t attributes = 0;
    std::uint8_t stream_flags = 0;
    std::uint32_t first_cluster = 0;
    std::uint64_t valid_length = 0; // bytes past it read as zeros; never above data_length
    std::uint64_t data_length = 0;
    std::int64_t created = 0; // seconds since 1970 UTC, 0 when not a date
    std::int64_t modified = 0;
    std::int64_t accessed = 0;
    std::u16string name; // what the name entries hold, up to the name's length
    std::size_t entries = 1; // entries taken by the set, its file entry included

    bool sound() const { return checksum_ok && name_whole; }
    bool directory() const { return (attributes & exfat_attr_directory) != 0; }
};

enum class exfat_set_e {
    none,    // no stream extension follows the file entry: nothing to take
    partial, // the checksum fails or entries are missing: what agrees is taken
    whole,
};

// Reads the set whose file entry (in use or deleted) begins entries, which holds it and what
// follows in its folder. Secondary entries are taken while their in-use bit matches the file
// entry's; the first that does not (a set written over the deleted one's tail, or the end of
// the folder's bytes) cuts the set, and out.entries stops before it.
exfat_set_e read_exfat_file_set(std::span<const std::byte> entries, const exfat_upcase_c& upcase, exfat_file_set_s& out);

// The set checksum over its entries (bytes 2 and 3 of the first, the checksum itself, left out);
// as_in_use counts each entry's type byte with its in-use bit set.
std::uint16_t exfat_set_checksum(std::span<const std::byte> set, bool as_in_use);

} // namespace tarn
