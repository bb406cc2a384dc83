#pragma once
// One finding of the NTFS engine: the NTFS library's 576-byte file record, read through explicit
// little-endian loads, and the engine's two fields after it.

#include "platform/byte_source.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace tarn {

inline constexpr std::uint64_t ntfs_root_record = 5;
// Records 0 to 11 are the file system's own files and are never shown.
inline constexpr std::uint64_t ntfs_last_system_record = 11;
enum : std::uint32_t { ntfs_flag_directory = 0x01, ntfs_flag_file = 0x02, ntfs_flag_deleted = 0x80 };
// Ids of records found outside the MFT (the lost-file search): this bit and the record's index in
// the engine's list of them. No MFT record number reaches it (they have 48 bits).
inline constexpr std::uint64_t ntfs_lost_id = std::uint64_t{1} << 63;

struct ntfs_record_s {
    std::array<std::byte, 576> raw{};
    std::uint8_t has_files = 0;      // deleted files somewhere below
    std::uint8_t has_live_files = 0; // files that still exist somewhere below
    // A lost file (found outside the MFT) some of whose clusters the file system in place now uses.
    std::uint8_t overwritten = 0;
    std::vector<ntfs_record_s*> children;

    std::uint64_t record_number() const { return load_le64(raw, 0); }
    std::uint64_t parent_number() const { return load_le64(raw, 8); }
    std::uint64_t size() const { return load_le64(raw, 16); }
    std::int64_t created() const { return static_cast<std::int64_t>(load_le64(raw, 24)); }
    std::int64_t modified() const { return static_cast<std::int64_t>(load_le64(raw, 40)); }
    std::uint32_t flags() const { return load_le32(raw, 48); }
    std::uint16_t sequence() const { return load_le16(raw, 52); }
    std::uint16_t parent_sequence() const { return load_le16(raw, 54); }
    bool is_directory() const { return flags() & ntfs_flag_directory; }
    bool is_file() const { return flags() & ntfs_flag_file; }
    bool is_deleted() const { return flags() & ntfs_flag_deleted; }
    // The UTF-16 name at 56, up to its zero or its 259th character.
    QString name() const
    {
        QString out;
        for (std::size_t at = 56; at + 1 < raw.size(); at += 2) {
            const char16_t c = load_le16(raw, at);
            if (c == 0)
                break;
            out += QChar(c);
        }
        return out;
    }
};

} // namespace tarn
