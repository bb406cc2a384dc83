#include "scan/fat_orphan_search.h"

#include "platform/byte_source.h"
#include "scan/disk_sector_layer.h"
#include "scan/fat_entry_check.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace tarn {

namespace {

using namespace fat_detail;

constexpr std::uint32_t block_sectors = disk_bounce_size / fat_sector_size;
constexpr std::uint32_t disk_failure = 0xFFFFFFFF;
// Small clusters are looked at through whole blocks (one read for many clusters); from this
// size on a block would mostly hold bytes nobody looks at, so each first sector is read alone.
constexpr std::uint32_t block_read_max_spc = 8;
// Unreadable cluster starts in a row after which the disk counts as no longer answering and the
// search ends: scattered bad sectors are passed over, but a disk that fails this many reads in a
// row would only fail the rest of them too.
constexpr std::uint32_t dead_run_heads = 4096;
// A stop or pause is looked at this often (in clusters), well within a second on any disk.
constexpr std::uint32_t poll_mask = (1u << 12) - 1;

// FAT entries read a block at a time into a buffer of their own, so that the data sectors read
// in between do not push them out of the volume's one-sector window.
class table_reader_c {
public:
    explicit table_reader_c(fat_fs_s& fs) : fs_(fs) {}

    std::uint32_t entry(std::uint32_t c)
    {
        switch (fs_.fs_type) {
        case fat_32: return load(std::uint64_t{c} * 4, 4) ? load_le32(block_, offset_) & 0x0FFFFFFF : disk_failure;
        case fat_16: return load(std::uint64_t{c} * 2, 2) ? load_le16(block_, offset_) : disk_failure;
        default: {
            // A 12-bit entry may straddle two sectors: its two bytes are fetched one by one.
            const std::uint64_t at = c + c / 2;
            if (!load(at, 1))
                return disk_failure;
            const std::uint32_t lo = std::to_integer<std::uint32_t>(block_[offset_]);
            if (!load(at + 1, 1))
                return disk_failure;
            const std::uint32_t v = lo | std::to_integer<std::uint32_t>(block_[offset_]) << 8;
            return c & 1 ? v >> 4 : v & 0xFFF;
        }
        }
    }

private:
    // Makes the bytes [at, at + size) of the FAT readable at block_[offset_].
    bool load(std::uint64_t at, std::uint32_t size)
    {
        const std::uint64_t first = at / fat_sector_size / block_sectors * block_sectors;
        if (!valid_ || first != first_) {
            valid_ = false;
            const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::uint64_t>(block_sectors, fs_.fat_size - first));
            if (count == 0 || disk_read(fs_.drive, std::span(block_.data(), count * fat_sector_size), fs_.fat_base + first, count) != disk_ok)
                return false;
            first_ = first;
            valid_ = true;
        }
        offset_ = static_cast<std::size_t>(at - first_ * fat_sector_size);
        return offset_ + size <= block_.size();
    }

    fat_fs_s& fs_;
    std::array<std::byte, disk_bounce_size> block_{};
    std::uint64_t first_ = 0;
    std::size_t offset_ = 0;
    bool valid_ = false;
};

// First sectors of clusters, through blocks when clusters are small.
class head_reader_c {
public:
    explicit head_reader_c(fat_fs_s& fs) : fs_(fs), end_(clust2sect(fs, fs.max_cluster - 1) + fs.sectors_per_cluster) {}

    const std::byte* sector(std::uint32_t s)
    {
        if (valid_ && s >= first_ && s < first_ + count_)
            return block_.data() + std::size_t{s - first_} * fat_sector_size;
        valid_ = false;
        const std::uint32_t wanted = fs_.sectors_per_cluster <= block_read_max_spc ? block_sectors : 1;
        count_ = std::min(wanted, end_ - s);
        // A block that runs past the end of a cut-short disk fails; the one sector may not.
        if (disk_read(fs_.drive, std::span(block_.data(), std::size_t{count_} * fat_sector_size), s, count_) != disk_ok) {
            count_ = 1;
            if (disk_read(fs_.drive, std::span(block_.data(), fat_sector_size), s, 1) != disk_ok)
                return nullptr;
        }
        first_ = s;
        valid_ = true;
        return block_.data();
    }

private:
    fat_fs_s& fs_;
    std::uint32_t end_;
    std::array<std::byte, disk_bounce_size> block_{};
    std::uint32_t first_ = 0, count_ = 0;
    bool valid_ = false;
};

// Whether the sectors after the first (already checked) also read as entries; ended says
// whether the cluster holds the folder's end. nullopt on a disk error.
// Small clusters come from the block the head reader holds; larger ones are read here whole.
std::optional<bool> rest_reads(fat_fs_s& fs, head_reader_c& heads, std::uint32_t c, std::vector<std::byte>& buffer,
                               bool& ended)
{
    const std::uint32_t rest = fs.sectors_per_cluster - 1u;
    if (rest == 0)
        return true;
    const bool from_block = fs.sectors_per_cluster <= block_read_max_spc;
    if (!from_block
        && disk_read(fs.drive, std::span(buffer.data(), std::size_t{rest} * fat_sector_size), clust2sect(fs, c) + 1, rest) != disk_ok)
        return std::nullopt;
    for (std::uint32_t k = 0; k < rest; ++k) {
        const std::byte* sector = from_block ? heads.sector(clust2sect(fs, c) + 1 + k)
                                             : buffer.data() + std::size_t{k} * fat_sector_size;
        if (sector == nullptr)
            return std::nullopt;
        const fat_slots_s slots = check_fat_slots(std::span<const std::byte, fat_sector_size>(sector, fat_sector_size), fs, ended);
        if (!slots.entries || slots.folder_start)
            return false;
        ended = ended || slots.ended;
    }
    return true;
}

// A margin past high, within the volume.
std::uint32_t end_past(const fat_fs_s& fs, std::uint64_t high)
{
    const std::uint64_t end = high + std::max<std::uint64_t>(fat_orphan_margin, high / 16) + 1;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(end, fs.max_cluster));
}

fat_orphan_run_s new_run(std::uint32_t c, const fat_slots_s& slots, const std::byte* head)
{
    fat_orphan_run_s run;
    run.first = c;
    run.count = 1;
    run.folder_start = slots.folder_start;
    run.first_data = slots.first_data;
    run.first_folder = slots.first_folder;
    if (run.folder_start) {
        const std::span<const std::byte> dot(head, 32);
        run.parent = slots.parent;
        run.ctime = load_le16(dot, 14);
        run.cdate = load_le16(dot, 16);
        run.wtime = load_le16(dot, 22);
        run.wdate = load_le16(dot, 24);
    }
    return run;
}

} // namespace

std::uint32_t fat_orphan_search_end(fat_fs_s& fs, std::uint32_t reach, bool& ok)
{
    ok = true;
    table_reader_c table(fs);
    std::uint32_t last_used = 2;
    for (std::uint32_t c = fs.max_cluster; c-- > 2;) {
        const std::uint32_t link = table.entry(c);
        if (link == disk_failure) {
            ok = false;
            return fs.max_cluster;
        }
        if (link != 0) {
            last_used = c;
            break;
        }
    }
    // Deleted files near the end of what was written leave free clusters past the last one in
    // use; the margin keeps the folders among them.
    return end_past(fs, std::max(last_used, reach));
}

std::vector<fat_orphan_run_s> find_fat_orphan_runs(fat_fs_s& fs, const fat_cluster_set_c& visited, std::uint32_t reach,
                                                   bool whole_volume, const std::function<bool(double)>& keep_going,
                                                   fat_orphan_stats_s& stats, bool& ok)
{
    std::vector<fat_orphan_run_s> runs;
    std::uint32_t end = fat_orphan_search_end(fs, reach, ok);
    if (!ok)
        return runs;
    if (whole_volume)
        end = fs.max_cluster;
    table_reader_c table(fs);
    head_reader_c heads(fs);
    std::vector<std::byte> rest(std::size_t{fs.sectors_per_cluster} * fat_sector_size);
    bool run_open = false; // the last run goes on into the next cluster if that one qualifies
    std::uint32_t unreadable_run = 0;
    for (std::uint32_t c = 2; c < end; ++c) {
        if ((c & poll_mask) == 0 && !keep_going(double(c - 2) / double(end - 2)))
            break;
        const bool was_open = std::exchange(run_open, false);
        if (visited.contains(c))
            continue;
        const std::uint32_t link = table.entry(c);
        if (link == disk_failure) {
            ok = false;
            break;
        }
        if (link != 0)
            continue;
        const std::byte* head = heads.sector(clust2sect(fs, c));
        if (head == nullptr) {
            // One unreadable cluster hides nothing but itself: the search goes on past it.
            ++stats.unreadable_clusters;
            if (++unreadable_run == dead_run_heads) {
                ok = false;
                break;
            }
            continue;
        }
        unreadable_run = 0;
        ++stats.free_clusters;
        const fat_slots_s slots = check_fat_slots(std::span<const std::byte, fat_sector_size>(head, fat_sector_size), fs, false);
        // A "." that names another cluster is a stale copy of some folder's start, not a folder.
        if (!slots.entries || slots.used == 0 || (slots.folder_start && slots.self != c))
            continue;
        const fat_orphan_run_s run = new_run(c, slots, head);
        bool ended = slots.ended;
        const std::optional<bool> whole = rest_reads(fs, heads, c, rest, ended);
        if (!whole) {
            ok = false;
            break;
        }
        if (!*whole)
            continue;
        ++stats.folder_clusters;
        end = std::max(end, end_past(fs, std::max(c, slots.reach)));
        // A cluster that lists the folder the run began with is its parent's, not its own.
        const bool lists_run = !runs.empty() && runs.back().folder_start && run.first_folder == runs.back().first;
        if (was_open && !run.folder_start && !lists_run && runs.back().first + runs.back().count == c) {
            ++runs.back().count;
        } else {
            if (runs.size() == fat_orphan_runs_max)
                break;
            runs.push_back(run);
        }
        run_open = !ended;
    }
    stats.runs = runs.size();
    return runs;
}

} // namespace tarn
