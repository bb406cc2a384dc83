#include "libs/carve/read_ahead.h"

#include <algorithm>

namespace tarn {

read_ahead_c::read_ahead_c(byte_source_c& source, const header_index_c& index, std::size_t block_bytes)
    : source_(source), index_(index), block_bytes_(block_bytes),
      blocks_((source.size() + block_bytes - 1) / block_bytes),
      thread_([this](std::stop_token stop) { run(stop); })
{
}

read_ahead_c::~read_ahead_c()
{
    thread_.request_stop();
    changed_.notify_all();
    thread_.join();
    for (slot_s& s : slots_)
        settle(s.block);
}

void read_ahead_c::fill(carve_block_s& block, std::uint64_t index)
{
    settle(block);
    block.index = index;
    block.at = index * block_bytes_;
    block.holes.clear();
    const std::uint64_t size = source_.size();
    const auto total = static_cast<std::size_t>(
        std::min<std::uint64_t>(block_bytes_ + header_index_c::longest, size - std::min(size, block.at)));
    // A disk that stopped answering is not asked twice for each block (mapped, then read).
    block.mapped = dead_ ? mapped_bytes_c{} : source_.map_at(block.at, total);
    if (block.mapped.empty()) {
        read(block, total);
    } else {
        block.view = block.mapped.bytes();
        dead_ = false;
    }
    block.scan = std::min(block.view.size(), block_bytes_);
    block.matches.clear();
    block.matched_to = index_.find(block.view, 0, block.scan, block.matches, match_room);
    block.sectors.clear();
    index_.find_sectors(block.view, block.scan, block.sectors);
}

// A block that cannot be mapped is read; one the disk does not give back whole is read around
// its bad parts.
void read_ahead_c::read(carve_block_s& block, std::size_t total)
{
    block.bytes.resize(block_bytes_ + header_index_c::longest);
    if (source_.read_at(block.at, std::span<std::byte>(block.bytes.data(), total)) != static_cast<std::int64_t>(total)) {
        unsigned failures = 0;
        if (dead_)
            lose(block, 0, total); // the disk stopped answering: one failed read a block
        else
            read_around(block, 0, total, failures);
    }
    dead_ = block.holes.size() == 1 && block.holes.front() == std::pair<std::size_t, std::size_t>{0, total};
    block.view = std::span<const std::byte>(block.bytes.data(), dead_ ? 0 : total);
}

// A mapped block a page of which could not be read again once brought in read as zeros there:
// it is read once more when done with, so that the failure is noted where failed reads are.
void read_ahead_c::settle(carve_block_s& block)
{
    if (!block.mapped.damaged())
        return;
    std::vector<std::byte> again(block.mapped.bytes().size());
    block.mapped = {};
    source_.read_at(block.at, again);
}

// A block the disk would not give back whole: its halves are read, and the halves of a half
// that fails, down to pages, so that one bad sector costs the files around it nothing. The bytes
// that stay unreadable are zeros in the block and marked; a few failed reads per block at most.
void read_ahead_c::read_around(carve_block_s& block, std::size_t from, std::size_t n, unsigned& failures)
{
    if (n <= page_bytes || failures >= most_failures) {
        lose(block, from, n);
        return;
    }
    const std::size_t half = (n / 2 + page_bytes - 1) / page_bytes * page_bytes;
    for (const auto& [at, length] : {std::pair{from, half}, std::pair{from + half, n - half}}) {
        if (source_.read_at(block.at + at, std::span<std::byte>(block.bytes.data() + at, length)) == static_cast<std::int64_t>(length))
            continue;
        ++failures;
        read_around(block, at, length, failures);
    }
}

void read_ahead_c::lose(carve_block_s& block, std::size_t from, std::size_t n)
{
    std::fill_n(block.bytes.begin() + static_cast<std::ptrdiff_t>(from), n, std::byte{0});
    if (!block.holes.empty() && block.holes.back().second == from)
        block.holes.back().second = from + n;
    else
        block.holes.emplace_back(from, from + n);
}

void read_ahead_c::run(std::stop_token stop)
{
    std::uint64_t next = 0;
    while (true) {
        slot_s* slot = nullptr;
        {
            std::unique_lock lock(mutex_);
            const auto free_slot = [&] {
                next = std::max(next, wanted_);
                const auto it = std::find_if(std::begin(slots_), std::end(slots_),
                                             [](const slot_s& s) { return s.state == slot_state_e::free; });
                slot = it == std::end(slots_) ? nullptr : &*it;
                return slot != nullptr && next < blocks_;
            };
            if (!changed_.wait(lock, stop, free_slot))
                return;
            slot->state = slot_state_e::filling;
        }
        fill(slot->block, next++);
        {
            std::lock_guard lock(mutex_);
            slot->state = slot_state_e::ready;
        }
        changed_.notify_all();
    }
}

const carve_block_s* read_ahead_c::take(std::uint64_t index)
{
    if (index >= blocks_)
        return nullptr;
    std::unique_lock lock(mutex_);
    wanted_ = std::max(wanted_, index);
    slot_s* found = nullptr;
    changed_.wait(lock, [&] {
        for (slot_s& s : slots_) {
            if (s.state == slot_state_e::ready && s.block.index < index) {
                s.state = slot_state_e::free; // skipped: inside a carved file
                changed_.notify_all();
            }
            if (s.state == slot_state_e::ready && s.block.index == index)
                found = &s;
        }
        return found != nullptr;
    });
    found->state = slot_state_e::taken;
    lock.unlock();
    changed_.notify_all();
    return &found->block;
}

std::span<const std::byte> read_ahead_c::held(std::uint64_t offset, std::uint64_t& at)
{
    const std::lock_guard lock(mutex_);
    for (const slot_s& s : slots_) {
        if ((s.state != slot_state_e::ready && s.state != slot_state_e::taken) || offset < s.block.at
            || offset - s.block.at >= s.block.view.size())
            continue;
        // Only the bytes between the marks around offset: the disk's own, never a mark's zeros.
        const auto inside = static_cast<std::size_t>(offset - s.block.at);
        std::size_t from = 0, to = s.block.view.size();
        for (const auto& [lost, found] : s.block.holes) {
            if (inside >= lost && inside < found)
                return {};
            if (found <= inside)
                from = found;
            else
                to = std::min(to, lost);
        }
        at = s.block.at + from;
        return {s.block.view.data() + from, to - from};
    }
    return {};
}

void read_ahead_c::release(const carve_block_s* block)
{
    {
        std::lock_guard lock(mutex_);
        for (slot_s& s : slots_)
            if (&s.block == block)
                s.state = slot_state_e::free;
    }
    changed_.notify_all();
}

} // namespace tarn
