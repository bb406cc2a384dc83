#pragma once
// The search for an earlier exFAT file system's folders: the volume read front to back, once,
// and in every cluster that the walk did not read and the bitmap in place calls free, every
// entry set (in use or deleted) whose checksum holds. A quick format writes a new bitmap,
// up-case table and root and leaves the old folders' clusters as they were, so their sets are
// still whole there.

#include "scan/exfat_bitmap.h"
#include "scan/exfat_entry_set.h"
#include "scan/exfat_volume.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace tarn {

// A cluster holding entry sets, in cluster order.
struct exfat_lost_cluster_s {
    std::uint32_t cluster = 0;
    bool ended = false; // its last slot is unused: a folder's entries end in it
    bool cut = false;   // a set begun in it does not go on into the next cluster: the folder's next one is elsewhere
    bool joined = false; // it begins with the rest of a set cut elsewhere: it goes on from there, not from the one before
    bool carried = false; // it begins with the rest of a set from the cluster before: it goes on from that one
};

// The two pieces of a set that a folder's clusters split where they do not follow one another:
// the tail of one cluster (its first entries) and the head of another (the rest).
struct exfat_lost_piece_s {
    std::uint32_t cluster = 0;
    std::uint64_t at = 0; // the byte on the volume where the piece begins
    bool ended = false, cut = false; // the cluster's, as for exfat_lost_cluster_s
    std::vector<std::byte> bytes;
};

struct exfat_lost_finds_s {
    std::vector<exfat_lost_cluster_s> folders; // clusters holding sets, in cluster order
    std::vector<exfat_lost_piece_s> tails;
    std::vector<exfat_lost_piece_s> heads;
};

struct exfat_lost_stats_s {
    std::uint64_t clusters_looked_at = 0; // free clusters outside the walk
    std::uint64_t unreadable_clusters = 0;
    std::uint64_t sets = 0;
    bool capped = false; // the caller took no more sets
};

// Called per set found: at is the byte offset of its file entry on the volume, cluster the one it
// begins in. False: take no more (the search ends).
using exfat_lost_found_f = std::function<bool(std::uint64_t at, std::uint32_t cluster, const exfat_file_set_s& set)>;

struct exfat_lost_search_s {
    exfat_volume_c& volume;
    const exfat_bitmap_c& bitmap;
    const std::vector<bool>& visited; // clusters the walk read, indexed by cluster
    const exfat_upcase_c& upcase;
    // Asked between blocks with the share of the volume looked at; false ends the search.
    std::function<bool(double)> keep_going;
    exfat_lost_found_f found;
};

// The clusters that hold sets, and the pieces of cut sets. False when reads failed so often in a
// row that the disk counts as no longer answering (what was found before stays).
bool search_exfat_lost(const exfat_lost_search_s& search, exfat_lost_finds_s& finds, exfat_lost_stats_s& stats);

// Joins each tail to the head that completes its set (its checksum holding across both), each
// piece used once; found is called with the set (at and cluster: the tail's) and the head, whose
// cluster goes on from the tail's. The work is bounded whatever the pieces.
void join_exfat_pieces(const exfat_lost_finds_s& finds, const exfat_upcase_c& upcase,
                       const std::function<void(std::uint64_t at, std::uint32_t cluster, const exfat_file_set_s& set,
                                                const exfat_lost_piece_s& head)>& found);

} // namespace tarn
