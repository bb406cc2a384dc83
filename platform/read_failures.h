#pragma once
// The byte ranges a disk would not give back during one pass over it, merged where they touch,
// so that a dying disk leaves a few lines in the log rather than one per sector. The layers
// below the engines cannot log; they note here and the engine that drove them logs.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarn {

struct unreadable_range_s {
    std::uint64_t at = 0;    // byte offset on the source read
    std::uint64_t bytes = 0;
};

class read_failures_c {
public:
    // Ranges beyond this many are counted, not kept: a disk failing everywhere must not grow
    // the list without bound.
    static constexpr std::size_t ranges_kept = 64;

    // Notes one failed read of bytes at offset at.
    void note(std::uint64_t at, std::uint64_t bytes);
    // Bytes a later read did give back (a retry in smaller pieces) are no longer unreadable.
    void give_back(std::uint64_t at, std::uint64_t bytes);
    void clear() { *this = {}; }
    bool empty() const { return failed_reads_ == 0; }
    // Whether one kept range holds all of the bytes at at (a pass in which every read failed).
    bool covers(std::uint64_t at, std::uint64_t bytes) const;

    const std::vector<unreadable_range_s>& ranges() const { return ranges_; }
    std::uint64_t failed_reads() const { return failed_reads_; }
    std::uint64_t ranges_dropped() const { return ranges_dropped_; }

private:
    std::vector<unreadable_range_s> ranges_;
    std::uint64_t failed_reads_ = 0;
    std::uint64_t ranges_dropped_ = 0;
};

} // namespace tarn
