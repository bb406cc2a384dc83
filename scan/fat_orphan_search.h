#pragma once
// The search for folder clusters that no walk reached: clusters free in the FAT, outside the
// set the walk read, that read as directory entries. A deleted folder whose clusters did not
// follow one another leaves its later clusters there, and a deleted folder whose own entry was
// overwritten leaves all of its clusters there. They come back grouped into runs, each run the
// clusters one directory read would take in turn.

#include "scan/fat_volume.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace tarn {

struct fat_orphan_run_s {
    std::uint32_t first = 0;   // the run's first cluster
    std::uint32_t count = 0;   // clusters in it
    bool folder_start = false; // the first cluster begins with "." and "..": a folder's own start
    std::uint32_t parent = 0;  // the cluster ".." names; 0 for the root
    std::uint32_t first_data = 0; // start cluster of its first entry that has one (0: none)
    std::uint32_t first_folder = 0; // start cluster of the first folder it lists (0: none)
    std::uint16_t wdate = 0, wtime = 0, cdate = 0, ctime = 0; // the "." entry's dates
};

struct fat_orphan_stats_s {
    std::uint64_t free_clusters = 0; // free clusters outside the walk, each looked at
    std::uint64_t folder_clusters = 0; // of those, the ones that read as directory entries
    std::uint64_t runs = 0;
    std::uint64_t unreadable_clusters = 0; // free clusters whose first sector could not be read
    std::int64_t nanoseconds = 0; // the search and the reading of what it found
};

// Clusters looked at past the last one in use or named by a finding (at least; a sixteenth of
// that cluster number when larger).
inline constexpr std::uint32_t fat_orphan_margin = 4096;

// At most this many runs are kept; a volume with more stops the search there.
inline constexpr std::size_t fat_orphan_runs_max = 1u << 20;

// The runs in cluster order. keep_going is asked between blocks of clusters, with the share of
// the search done; false ends the search with what it has. A free cluster whose first sector
// cannot be read is passed over and counted; ok is false when the FAT could not be read or the
// disk stopped answering (the runs found before stay).
// reach is the highest cluster any finding names (its start plus its length): the search ends a
// margin past it or past the last cluster in use, whichever is further, since the allocator has
// never written beyond — a mostly empty terabyte volume is not read to its end. Each folder
// cluster found moves that end on to a margin past itself and past the data its entries name, so
// that a volume formatted since (nothing in use) still gives up its folders. whole_volume: every
// cluster is looked at (the search for lost files).
std::vector<fat_orphan_run_s> find_fat_orphan_runs(fat_fs_s& fs, const fat_cluster_set_c& visited, std::uint32_t reach,
                                                   bool whole_volume, const std::function<bool(double)>& keep_going,
                                                   fat_orphan_stats_s& stats, bool& ok);
// Where that search ends: one past the last cluster it looks at.
std::uint32_t fat_orphan_search_end(fat_fs_s& fs, std::uint32_t reach, bool& ok);

} // namespace tarn
