#pragma once
// The library's reader of one raw MFT file record found anywhere on a disk (outside any MFT the
// volume still knows): the update sequence checked and undone, then the record's times, its name
// with the parent reference, and where its default data stream lies. Every length and offset in
// the record is checked against the record before it is used.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarn {

// One run of a non-resident stream: clusters from lcn, or a hole (sparse) when lcn is negative.
struct ntfs_run_s {
    std::int64_t lcn = -1;
    std::uint64_t clusters = 0;
};

struct ntfs_decoded_record_s {
    std::uint32_t record_bytes = 0;
    bool has_number = false; // records written by NTFS 3.1 name their own number
    std::uint64_t number = 0;
    std::uint16_t sequence = 0;
    bool in_use = false;
    bool directory = false;
    std::uint64_t base_record = 0; // non-zero: an extension of another record

    std::u16string name;           // the long (Win32 or POSIX) name where there is one, else the DOS one
    std::uint64_t parent = 0;      // MFT record number of the parent folder
    std::uint16_t parent_sequence = 0;
    std::uint64_t name_size = 0;   // the file size the name's attribute last recorded
    std::int64_t created = 0;      // seconds since 1970 UTC, 0 = unknown
    std::int64_t modified = 0;
    std::int64_t accessed = 0;

    bool has_data = false;         // an unnamed $DATA attribute
    bool resident = false;
    bool compressed = false;       // or encrypted: the stored bytes are not the file's
    std::vector<std::byte> resident_bytes;
    std::vector<ntfs_run_s> runs;  // the first extent's runs (lowest VCN 0)
    std::uint64_t data_size = 0;
    std::uint64_t initialized_size = 0;
    // The cluster size of the file system that wrote the record, where its runs tell it (allocated
    // size over the clusters its runs cover); 0 when they do not. After a format with another
    // cluster size the volume's boot sector no longer says it.
    std::uint64_t cluster_bytes = 0;
    // An $ATTRIBUTE_LIST: further runs may lie in extension records, which are not followed; the
    // runs above then end early and a copy stops short (reported incomplete, never whole).
    bool attribute_list = false;
};

enum class ntfs_decode_e {
    ok,
    no_record,    // no "FILE" signature or an impossible header
    bad_fixup,    // the update sequence does not match: a torn or partly overwritten record
    damaged,      // a sound header whose attributes run outside the record
};

// Decodes the record at the start of raw (the record's own allocated size, 1 to 4 KiB, must lie
// within raw). Nothing in raw is changed.
ntfs_decode_e ntfs_decode_record(std::span<const std::byte> raw, ntfs_decoded_record_s& out);

// The runs of a mapping-pairs array; false when it is malformed (a length or offset field that
// runs past the array, a run of no clusters, an LCN that leaves 0..2^60), with runs holding the
// runs read before the fault.
bool ntfs_decode_runs(std::span<const std::byte> pairs, std::vector<ntfs_run_s>& runs);

// Seconds since 1970 UTC from an NTFS time (100 ns units since 1601); 0 for 0.
std::int64_t ntfs_unix_time(std::uint64_t ntfs_time);

} // namespace tarn
