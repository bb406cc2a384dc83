#pragma once
// One finding of the exFAT engine: a folder (live or deleted) or a deleted file, keyed by the
// byte offset of its file entry on the volume, which no two entry sets share. The search for
// lost files adds folders named by their cluster, which have no entry: they are keyed by their
// first cluster's byte offset plus one, which no entry (32-byte aligned) has.

#include "scan/exfat_volume.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace tarn {

// The parent key of the lost files' top folder's children; the top folder itself is no finding.
inline constexpr std::uint64_t exfat_lost_key = UINT64_MAX;

struct exfat_record_s {
    std::uint64_t key = 0;    // 0 = the root folder
    std::uint64_t parent = 0; // key of the folder it was found in
    std::uint64_t size = 0;   // the data length
    std::uint64_t valid_size = 0; // bytes past it were never written and read as zeros
    std::uint32_t first_cluster = 0;
    std::int64_t modified = 0; // seconds since 1970 UTC, 0 when unknown
    std::int64_t created = 0;
    std::int64_t accessed = 0;
    std::uint16_t attributes = 0; // the entry's attribute word; 0x10 = folder
    exfat_layout_e layout = exfat_layout_e::contiguous;
    std::uint8_t deleted = 0;        // its set is deleted, or it lies in a deleted folder
    std::uint8_t in_deleted_dir = 0; // it lies in a deleted folder, at any depth
    std::uint8_t sound = 1;          // its set's checksum held and its name is whole
    std::uint8_t has_files = 0;      // a deleted file lies somewhere below this folder
    std::uint8_t has_live_files = 0; // a file that still exists lies somewhere below it
    std::uint8_t lost = 0;           // found by the search for lost files (an earlier file system's)
    std::uint8_t overwritten = 0;    // a lost file some of whose clusters the bitmap in place marks in use
    std::uint8_t chain_gone = 0;     // a lost file kept along a FAT chain: its clusters are guessed to follow one another
    QString name; // as the disk keeps it, whole: exFAT keeps a deleted name's first character
    std::vector<exfat_record_s*> children;

    bool directory() const { return (attributes & 0x10) != 0; }
    // What was found of it may not be what was written: a damaged set, or clusters guessed.
    bool uncertain() const { return sound == 0 || layout == exfat_layout_e::guessed || chain_gone != 0; }
};

} // namespace tarn
