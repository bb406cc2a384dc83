#pragma once
// The volume's blocks read on a second thread, which also finds the header patterns in each, while
// the scan measures the candidates of the blocks before: the read and the search overlap the
// structure walks. The blocks ahead also serve the walks' own reads, and let the scan land on a
// block already read when it passes over a carved file. A fixed number of blocks in memory
// whatever the volume's size.

#include "libs/carve/carve_reader.h"
#include "libs/carve/header_index.h"
#include "platform/byte_source.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace tarn {

struct carve_block_s {
    std::uint64_t index = 0;
    std::uint64_t at = 0;           // volume offset of the block's first byte
    // The block and a few bytes after it, for patterns across its end: mapped in place where the
    // volume allows, else read into bytes; empty when the block could not be read.
    std::span<const std::byte> view;
    mapped_bytes_c mapped;
    std::vector<std::byte> bytes;
    std::size_t scan = 0;           // bytes of the block itself (less at the volume's end)
    std::vector<header_match_s> matches;
    std::size_t matched_to = 0;     // matches holds every pattern before this block offset
    std::vector<sector_match_s> sectors; // sector starts that formats without patterns may begin at
    // Ranges the disk would not give back (zeros in view), in order: never handed to a reader.
    std::vector<std::pair<std::size_t, std::size_t>> holes;
};

class read_ahead_c final : public carve_resident_i {
public:
    read_ahead_c(byte_source_c& source, const header_index_c& index, std::size_t block_bytes);
    ~read_ahead_c();
    read_ahead_c(const read_ahead_c&) = delete;
    read_ahead_c& operator=(const read_ahead_c&) = delete;

    // The block with this index (blocks before it that were read ahead are dropped); none past
    // the volume's end. The block stays valid until release.
    const carve_block_s* take(std::uint64_t index);
    void release(const carve_block_s* block);
    // A block read or taken that holds offset: stays as it is until the next take or release.
    std::span<const std::byte> held(std::uint64_t offset, std::uint64_t& at) override;

    static constexpr std::size_t match_room = 1 << 16; // matches kept per block

private:
    enum class slot_state_e { free, filling, ready, taken };
    struct slot_s {
        slot_state_e state = slot_state_e::free;
        carve_block_s block;
    };

    static constexpr std::size_t page_bytes = 4096; // the least a buffered read of a disk fails by
    static constexpr unsigned most_failures = 16;    // failed reads spent on one block's bad parts

    void run(std::stop_token stop);
    void fill(carve_block_s& block, std::uint64_t index);
    void read(carve_block_s& block, std::size_t total);
    void settle(carve_block_s& block);
    void read_around(carve_block_s& block, std::size_t from, std::size_t n, unsigned& failures);
    static void lose(carve_block_s& block, std::size_t from, std::size_t n);

    byte_source_c& source_;
    const header_index_c& index_;
    const std::size_t block_bytes_;
    const std::uint64_t blocks_;
    std::mutex mutex_;
    std::condition_variable_any changed_;
    static constexpr std::size_t slot_count = 16;
    slot_s slots_[slot_count];
    std::uint64_t wanted_ = 0;      // the scan needs no block before this one
    bool dead_ = false;             // the last block read gave nothing back (read-ahead thread only)
    std::jthread thread_;           // last: it starts once everything above exists
};

} // namespace tarn
