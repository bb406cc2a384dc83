#pragma once
// The search for the file records of an earlier NTFS file system (a quick format, an MFT the
// volume no longer knows): the volume read once, front to back, in large blocks; at every 512-byte
// boundary where such a record can lie (ntfs_cluster_map_c) a "FILE" signature is decoded with
// the NTFS library's record reader. Blocks holding nothing searchable are not read.

#include "libs/ntfs_scan/ntfs_record_decode.h"
#include "platform/byte_source.h"
#include "platform/read_failures.h"
#include "scan/ntfs_cluster_map.h"
#include "scan/recovery_control.h"

#include <cstdint>
#include <vector>

namespace tarn {

// One record found: what the tree and the rows need, without its data (its runs and resident bytes
// are read again from the disk when it is copied, so that a volume of many large records costs
// little memory).
struct ntfs_lost_found_s {
    ntfs_decoded_record_s record; // runs and resident bytes dropped
    std::uint64_t at = 0;         // byte offset of the record on the volume
    bool overwritten = false;     // some of its clusters are in use by the file system in place
};

// Whether record's runs (in its own cluster size, or the volume's when it does not tell) lie on
// clusters the file system in place uses: its bytes there are the new files', not the lost one's.
bool ntfs_lost_overwritten(const ntfs_decoded_record_s& record, const ntfs_cluster_map_c& map);

struct ntfs_lost_search_s {
    std::vector<ntfs_lost_found_s> records;     // in the order of the volume
    read_failures_c failures;                   // blocks that could not be read and were passed over
    std::uint64_t torn = 0;                     // signatures whose update sequence did not match
    bool capped = false;                        // the search stopped at records_kept
    bool stopped = false;                       // stop was pressed
};

class ntfs_lost_search_c {
public:
    // A hostile volume can be all "FILE" records; beyond this many the search ends (and says so).
    static constexpr std::size_t records_kept = 1u << 18;

    // progress_from: the share of the scan done before the search; the search fills the rest.
    ntfs_lost_search_c(byte_source_c& volume, const ntfs_cluster_map_c& map, recovery_control_s& control,
                       double progress_from);
    ntfs_lost_search_s run();

private:
    void search_block(std::uint64_t at, std::span<const std::byte> block, std::size_t searched, ntfs_lost_search_s& out);
    static bool worth_keeping(const ntfs_decoded_record_s& record);

    byte_source_c& volume_;
    const ntfs_cluster_map_c& map_;
    recovery_control_s& control_;
    double progress_from_;
};

} // namespace tarn
