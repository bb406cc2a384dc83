#include "libs/carve/carver.h"

#include "libs/carve/read_ahead.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace tarn {

namespace {

constexpr std::size_t block_bytes = 2 << 20;

// The scan's budget for the measures' work (the bytes they read, checksum and search): candidates
// that come to nothing may spend at most waste_per_byte bytes for each byte of the volume the scan
// has reached, plus waste_floor; a file found pays for its own measure up to paid_per_byte bytes
// for each of its bytes, as the scan then passes over them. Together with the plain read and the
// header search this keeps a scan within a small multiple of reading the volume once, however the
// volume was built: each format's walks are linear on the chains it knows (walk_memo.h), and this
// bounds what nothing else foresaw. A measure that runs past the budget fails and is counted (the
// engine logs how many); as the budget grows with the bytes the scan reaches, a region built to
// slow the scan costs only its own candidates, not every file after it.
constexpr std::uint64_t waste_per_byte = 4;
constexpr std::uint64_t waste_floor = 64 << 20;
constexpr std::uint64_t paid_per_byte = 4;

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
// before its end is passed over: nothing inside a carved file is reported again. A joined file's
// second fragment, further on, is passed over when the walk gets there.
class block_walk_c {
public:
    block_walk_c(carve_reader_c& reader, const carve_sink& sink, const carve_progress_s& control)
        : reader_(reader), sink_(sink), control_(control)
    {
    }
    std::uint64_t carved_end() const { return carved_end_; }
    // The candidates whose measure the budget cut off.
    std::uint64_t cut_off() const { return cut_off_; }

    void walk(const carve_block_s& block, const header_index_c& index)
    {
        std::size_t sector = 0;
        // Sector candidates come after the patterns found at the same offset.
        const auto sectors_before = [&](std::uint64_t at) {
            for (; sector < block.sectors.size() && block.sectors[sector].at < at; ++sector)
                try_start(block.at + block.sectors[sector].at, *block.sectors[sector].type);
        };
        for (const header_match_s& match : block.matches) {
            sectors_before(match.at);
            try_match(block, match);
        }
        // A block dense with patterns: the rest is searched here, a batch at a time.
        std::vector<header_match_s> more;
        for (std::size_t from = block.matched_to; from < block.scan;) {
            more.clear();
            from = index.find(block.view, from, block.scan, more,
                              read_ahead_c::match_room);
            for (const header_match_s& match : more) {
                sectors_before(match.at);
                try_match(block, match);
            }
        }
        sectors_before(UINT64_MAX);
    }

private:
    void try_match(const carve_block_s& block, const header_match_s& match)
    {
        const std::uint64_t at = block.at + match.at;
        const carve_type_s& type = *match.candidate->type;
        if (at >= type.format->header_at)
            try_start(at - type.format->header_at, type);
    }

    // Whether start lies in a joined file's second fragment; fragments passed are forgotten.
    bool claimed(std::uint64_t start)
    {
        std::erase_if(claims_, [start](const claim_s& c) { return c.end <= start; });
        return std::any_of(claims_.begin(), claims_.end(), [start](const claim_s& c) { return start >= c.at; });
    }

    void try_start(std::uint64_t start, const carve_type_s& type)
    {
        const std::uint64_t size = reader_.size();
        // A stop is honoured between candidates: one block's walk can take long.
        if (start < carved_end_ || start >= size || claimed(start) || load(control_.stop) != 0)
            return;
        const std::uint64_t before = reader_.work();
        const std::uint64_t budget = saturated_times(start, waste_per_byte) > UINT64_MAX - waste_floor
                                         ? UINT64_MAX
                                         : saturated_times(start, waste_per_byte) + waste_floor;
        reader_.limit_work(budget - std::min(budget, wasted_));
        const carve_found_s found = type.format->measure(reader_, start, std::min(type.largest, size - start));
        const std::string extension = found.size != 0 ? name(start, *type.format, found) : std::string();
        const std::uint64_t spent = reader_.work() - before;
        const bool cut_off = reader_.over_limit();
        const std::uint64_t paid = extension.empty() || cut_off ? 0 : saturated_times(found.total(), paid_per_byte);
        wasted_ += spent - std::min(spent, paid);
        cut_off_ += cut_off ? 1 : 0;
        if (extension.empty() || cut_off)
            return;
        sink_(extension.c_str(), start, found);
        carved_end_ = start + found.size;
        if (found.tail_size != 0)
            claims_.push_back({found.tail_at, found.tail_at + found.tail_size});
    }

    // The extension the file found at start is reported with; none when its mark does not fit.
    std::string name(std::uint64_t start, const carve_format_s& format, const carve_found_s& found)
    {
        const char* named = format.name != nullptr && !found.partial && found.tail_size == 0
                                ? format.name(reader_, start, found.size)
                                : nullptr;
        std::string extension = named != nullptr ? named : format.extension;
        // The mark of a partial or joined file must fit the extension's seven characters.
        if (found.partial || found.tail_size != 0) {
            extension += found.partial ? carve_partial_mark : carve_joined_mark;
            if (extension.size() > 7)
                return {};
        }
        return extension;
    }

    static std::uint64_t saturated_times(std::uint64_t value, std::uint64_t factor)
    {
        return value > UINT64_MAX / factor ? UINT64_MAX : value * factor;
    }

    struct claim_s {
        std::uint64_t at;
        std::uint64_t end;
    };

    carve_reader_c& reader_;
    const carve_sink& sink_;
    const carve_progress_s& control_;
    std::uint64_t carved_end_ = 0;
    std::vector<claim_s> claims_;
    std::uint64_t wasted_ = 0;
    std::uint64_t cut_off_ = 0;
};

} // namespace

std::uint64_t carve_source(byte_source_c& source, const std::vector<carve_type_s>& types, const carve_progress_s& control,
                           const carve_sink& sink)
{
    const header_index_c index(types);
    carve_reader_c reader(source);
    reader.set_types(&types);
    block_walk_c walk(reader, sink, control);
    read_ahead_c ahead(source, index, block_bytes);
    reader.set_resident(&ahead);
    const std::uint64_t size = source.size();
    for (std::uint64_t next = 0; keep_going(control);) {
        const carve_block_s* block = ahead.take(next);
        if (block == nullptr)
            break;
        // An unreadable block is passed over; the scan goes on with the next one.
        walk.walk(*block, index);
        // The window may lie in this block or one ahead, which a release or the next take lets go.
        reader.forget_window();
        ahead.release(block);
        next = std::max(next + 1, walk.carved_end() / block_bytes);
        const std::uint64_t done = std::max(next * block_bytes, walk.carved_end());
        std::atomic_ref<double>(*control.progress)
            .store(std::min(1.0, static_cast<double>(done) / static_cast<double>(size)), std::memory_order_relaxed);
    }
    return walk.cut_off();
}

} // namespace tarn
