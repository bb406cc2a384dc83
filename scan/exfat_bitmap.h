#pragma once
// The allocation bitmap of an exFAT volume: one bit per cluster, set while a file or folder
// holds it. It tells the volume's free space, and whether a deleted file's or folder's clusters
// have been taken by something else since.

#include <cstdint>
#include <span>
#include <vector>

namespace tarn {

class exfat_bitmap_c {
public:
    // Takes the bitmap's bytes for a volume of cluster_count clusters; false (and unknown) when
    // they are fewer than the clusters need.
    bool assign(std::vector<std::byte> bytes, std::uint32_t cluster_count);
    // Whether a bitmap was read: without one no cluster counts as in use.
    bool known() const { return !bits_.empty(); }
    bool in_use(std::uint32_t cluster) const;
    // Clusters not in use; 0 when no bitmap is known.
    std::uint64_t free_clusters() const;
    // The first cluster from c on that is not in use; c itself without a bitmap, and a cluster
    // past the volume's last when none is free. A search over the free runs, so that guessing
    // the clusters of many files costs no pass over the bitmap each.
    std::uint64_t next_free(std::uint64_t c) const;
    // Whether any of the clusters [first, first + count) is in use; false without a bitmap. Clusters
    // past the ones it describes count as free. One search, whatever the count.
    bool any_in_use(std::uint64_t first, std::uint64_t count) const;

private:
    void make_free_runs() const;

    struct free_run_s {
        std::uint64_t first = 0;
        std::uint64_t end = 0; // one past its last cluster
    };

    std::vector<std::byte> bits_;
    std::uint32_t cluster_count_ = 0;
    mutable std::vector<free_run_s> free_runs_; // made on first use
};

} // namespace tarn
