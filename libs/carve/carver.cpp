#include "libs/carve/carver.h"

#include "libs/carve/read_ahead.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace tarn {

namespace {

constexpr std::size_t block_bytes = 4 << 20;

std::int32_t load(std::int32_t* field)
{
    return std::atomic_ref<std::int32_t>(*field).load(std::memory_order_relaxed);
}

// False when the scan must end; waits while paused, looking at the stop flag every 100 ms.
bool keep_going(const carve_progress_s& control)
{
    while (load(control.pause) != 0 && load(control.stop) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return load(control.stop) == 0;
}

// The walk over one block's candidates in volume order. A file found is reported and everything
// before its end is passed over: nothing inside a carved file is reported again.
class block_walk_c {
public:
    block_walk_c(carve_reader_c& reader, const carve_sink& sink) : reader_(reader), sink_(sink) {}
    std::uint64_t carved_end() const { return carved_end_; }

    void walk(const carve_block_s& block, const header_index_c& index)
    {
        for (const header_match_s& match : block.matches)
            try_match(block, match);
        // A block dense with patterns: the rest is searched here, a batch at a time.
        std::vector<header_match_s> more;
        for (std::size_t from = block.matched_to; from < block.scan;) {
            more.clear();
            from = index.find(std::span<const std::byte>(block.bytes.data(), block.have), from, block.scan, more,
                              read_ahead_c::match_room);
            for (const header_match_s& match : more)
                try_match(block, match);
        }
    }

private:
    void try_match(const carve_block_s& block, const header_match_s& match)
    {
        const carve_type_s& type = *match.candidate->type;
        const carve_format_s& format = *type.format;
        const std::uint64_t at = block.at + match.at;
        if (at < format.header_at)
            return;
        const std::uint64_t start = at - format.header_at;
        const std::uint64_t size = reader_.size();
        if (start < carved_end_ || start >= size)
            return;
        const std::uint64_t found = format.measure(reader_, start, std::min(type.largest, size - start));
        if (found == 0)
            return;
        const char* named = format.name != nullptr ? format.name(reader_, start, found) : nullptr;
        sink_(named != nullptr ? named : format.extension, start, found);
        carved_end_ = start + found;
    }

    carve_reader_c& reader_;
    const carve_sink& sink_;
    std::uint64_t carved_end_ = 0;
};

} // namespace

void carve_source(byte_source_c& source, const std::vector<carve_type_s>& types, const carve_progress_s& control,
                  const carve_sink& sink)
{
    const header_index_c index(types);
    carve_reader_c reader(source);
    block_walk_c walk(reader, sink);
    read_ahead_c ahead(source, index, block_bytes);
    const std::uint64_t size = source.size();
    for (std::uint64_t next = 0; keep_going(control);) {
        const carve_block_s* block = ahead.take(next);
        if (block == nullptr)
            break;
        // An unreadable block is passed over; the scan goes on with the next one.
        walk.walk(*block, index);
        ahead.release(block);
        next = std::max(next + 1, walk.carved_end() / block_bytes);
        const std::uint64_t done = std::max(next * block_bytes, walk.carved_end());
        std::atomic_ref<double>(*control.progress)
            .store(std::min(1.0, static_cast<double>(done) / static_cast<double>(size)), std::memory_order_relaxed);
    }
}

} // namespace tarn
