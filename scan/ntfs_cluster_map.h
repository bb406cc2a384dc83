#pragma once
// Which parts of an NTFS volume the file system in place uses, asked in ranges: the lost-record
// search reads only where an earlier file system's records can remain (free clusters and the room
// past the MFT's end), and a lost file whose clusters are now in use is marked overwritten.
// A range of any length costs the same: a count of used clusters per 64-cluster word is kept.

#include "libs/ntfs_scan/ntfs_layout.h"

#include <cstdint>
#include <vector>

namespace tarn {

class ntfs_cluster_map_c {
public:
    explicit ntfs_cluster_map_c(ntfs_layout_s layout);

    std::uint64_t cluster_bytes() const { return layout_.cluster_bytes; }
    std::uint64_t clusters() const { return layout_.clusters; }
    // Clusters of [first, first + count) in use; those past the volume's end are left out.
    std::uint64_t used_in(std::uint64_t first, std::uint64_t count) const;
    // Whether a record of an earlier file system can start at the volume's byte offset at.
    bool searchable(std::uint64_t at) const;
    // Whether any byte of [at, at + bytes) is searchable.
    bool any_searchable(std::uint64_t at, std::uint64_t bytes) const;

private:
    bool used(std::uint64_t cluster) const;
    std::uint64_t used_before(std::uint64_t cluster) const;
    bool in_tail(std::uint64_t at, std::uint64_t bytes) const;

    ntfs_layout_s layout_;
    std::vector<std::uint64_t> used_before_word_; // used clusters before each 64-cluster word
};

} // namespace tarn
