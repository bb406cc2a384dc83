#include "scan/exfat_lost_search.h"

#include <algorithm>
#include <unordered_map>

namespace tarn {

namespace {

// The volume is read in blocks this large (or one cluster, where clusters are larger).
constexpr std::uint64_t block_bytes = 4 << 20;
// No set is longer than a file entry and 255 secondary entries; a set begun near a block's end
// is read from the bytes after it, which every block read brings along.
constexpr std::size_t set_max_bytes = 256 * exfat_entry_bytes;
// Unreadable clusters in a row after which the disk counts as no longer answering: scattered bad
// sectors are passed over, but a disk that fails this many reads would only fail the rest too.
constexpr std::uint64_t dead_run_clusters = 4096;
// Pieces of cut sets kept at most, of each kind, and the bytes joining them may check in all:
// crafted clusters full of pieces cost no more than this.
constexpr std::size_t pieces_max = std::size_t{1} << 13;
constexpr std::uint64_t join_bytes_max = 64ull << 20;

std::uint8_t kind_of(std::byte type)
{
    return std::to_integer<std::uint8_t>(type) & static_cast<std::uint8_t>(~exfat_entry_in_use);
}

std::uint8_t byte_at(std::span<const std::byte> b, std::size_t at)
{
    return std::to_integer<std::uint8_t>(b[at]);
}

// Whether the bytes from a file entry to its cluster's end read as the start of a set: attribute
// bits no file system sets are clear, and every entry after it is a secondary one, in use as
// the file entry is. File data often holds the file entry's type byte near a cluster's end;
// this keeps it from passing for a set cut there.
bool plausible_tail(std::span<const std::byte> tail)
{
    if ((load_le16(tail, 4) & ~0x37u) != 0 || byte_at(tail, 6) != 0 || byte_at(tail, 7) != 0)
        return false;
    const std::uint8_t in_use = byte_at(tail, 0) & exfat_entry_in_use;
    for (std::size_t at = exfat_entry_bytes; at + exfat_entry_bytes <= tail.size(); at += exfat_entry_bytes) {
        const std::uint8_t type = byte_at(tail, at);
        if ((type & exfat_entry_in_use) != in_use || (type & exfat_entry_secondary) == 0)
            return false;
    }
    return true;
}

// Whether a cluster begins as the rest of a set: a stream extension or a name entry, their
// reserved bits clear.
bool plausible_head(std::span<const std::byte> head)
{
    switch (kind_of(head[0])) {
    case exfat_entry_stream & static_cast<std::uint8_t>(~exfat_entry_in_use):
        return (byte_at(head, 1) & ~0x03u) == 0 && byte_at(head, 2) == 0;
    case exfat_entry_name & static_cast<std::uint8_t>(~exfat_entry_in_use): return byte_at(head, 1) == 0;
    default: return false;
    }
}

class cluster_scan_c {
public:
    cluster_scan_c(const exfat_lost_search_s& search, exfat_lost_finds_s& finds, exfat_lost_stats_s& stats)
        : search_(search), layout_(search.volume.layout()), finds_(finds), stats_(stats)
    {
    }

    bool candidate(std::uint32_t c) const { return !search_.visited[c] && !search_.bitmap.in_use(c); }

    // Reads the sets that begin in cluster c, whose bytes begin bytes (which may run on past the
    // cluster, as far as the block read reaches). False when the caller takes no more sets.
    bool scan(std::uint32_t c, std::span<const std::byte> bytes)
    {
        ++stats_.clusters_looked_at;
        const std::size_t cluster = static_cast<std::size_t>(layout_.cluster_bytes());
        // A set begun in the cluster before runs on into this one: its entries are not read again.
        std::size_t at = carry_cluster_ == c ? carry_ : 0;
        const bool carried = carry_cluster_ == c;
        bool holds = carried;
        bool cut = false;
        // A cluster that begins with secondary entries may hold the rest of a set cut elsewhere.
        const bool head = !holds && bytes.size() >= exfat_entry_bytes && plausible_head(bytes);
        std::size_t tail_at = cluster;
        carry_cluster_ = 0;
        const std::uint8_t file_kind = exfat_entry_file & static_cast<std::uint8_t>(~exfat_entry_in_use);
        while (at < cluster && at + exfat_entry_bytes <= bytes.size()) {
            const auto type = std::to_integer<std::uint8_t>(bytes[at]);
            if ((type & static_cast<std::uint8_t>(~exfat_entry_in_use)) == file_kind) {
                if (take(c, at, bytes.subspan(at, std::min(set_max_bytes, bytes.size() - at)), holds))
                    continue;
                if (stats_.capped)
                    return false;
                // A set whose entries would run past the cluster but whose checksum fails with the
                // next cluster's bytes goes on somewhere else.
                const std::size_t count = std::to_integer<std::uint8_t>(bytes[at + 1]);
                if (count >= 2 && at + (count + 1) * exfat_entry_bytes > cluster
                    && plausible_tail(bytes.subspan(at, std::min(cluster, bytes.size()) - at))) {
                    cut = true;
                    tail_at = at;
                }
            }
            at += exfat_entry_bytes;
        }
        if (at > cluster) {
            carry_cluster_ = c + 1;
            carry_ = at - cluster;
        }
        const bool ended = at <= cluster && cluster <= bytes.size()
                           && std::to_integer<std::uint8_t>(bytes[cluster - exfat_entry_bytes]) == exfat_entry_end;
        if (holds)
            finds_.folders.push_back({c, ended, cut, false, carried});
        if (tail_at < cluster)
            keep(finds_.tails, c, tail_at, bytes.first(std::min(cluster, bytes.size())).subspan(tail_at), ended, cut);
        if (head)
            keep(finds_.heads, c, 0, bytes.first(std::min({cluster, set_max_bytes, bytes.size()})), ended, cut);
        return true;
    }

private:
    void keep(std::vector<exfat_lost_piece_s>& pieces, std::uint32_t c, std::size_t at, std::span<const std::byte> bytes,
              bool ended, bool cut)
    {
        if (pieces.size() < pieces_max)
            pieces.push_back({c, layout_.cluster_offset(c) + at, ended, cut, {bytes.begin(), bytes.end()}});
    }

    // Takes the set at `at` when its checksum holds; moves at past it.
    bool take(std::uint32_t c, std::size_t& at, std::span<const std::byte> entries, bool& holds)
    {
        read_exfat_file_set(entries, search_.upcase, set_);
        if (!set_.checksum_ok)
            return false;
        ++stats_.sets;
        holds = true;
        if (!search_.found(layout_.cluster_offset(c) + at, c, set_)) {
            stats_.capped = true;
            return false;
        }
        at += set_.entries * exfat_entry_bytes;
        return true;
    }

    const exfat_lost_search_s& search_;
    const exfat_layout_s& layout_;
    exfat_lost_finds_s& finds_;
    exfat_lost_stats_s& stats_;
    exfat_file_set_s set_;
    std::uint32_t carry_cluster_ = 0;
    std::size_t carry_ = 0;
};

// Reads what it can of [at, at + out.size()) within the source; the bytes read.
std::size_t read_part(byte_source_c& source, std::uint64_t at, std::span<std::byte> out)
{
    const std::uint64_t size = source.size();
    if (at >= size)
        return 0;
    out = out.first(static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size - at)));
    const std::int64_t got = source.read_at(at, out);
    return got == static_cast<std::int64_t>(out.size()) ? out.size() : 0;
}

} // namespace

bool search_exfat_lost(const exfat_lost_search_s& search, exfat_lost_finds_s& finds, exfat_lost_stats_s& stats)
{
    const exfat_layout_s& layout = search.volume.layout();
    const std::uint64_t cluster = layout.cluster_bytes();
    const std::uint64_t per_block = std::max<std::uint64_t>(1, block_bytes >> layout.cluster_shift);
    const std::uint64_t end = std::uint64_t{layout.cluster_count} + 2;
    std::vector<std::byte> buffer(static_cast<std::size_t>(per_block * cluster) + set_max_bytes);
    cluster_scan_c scan(search, finds, stats);
    std::uint64_t unreadable_run = 0;
    for (std::uint64_t first = 2; first < end; first += per_block) {
        if (!search.keep_going(double(first - 2) / double(end - 2)))
            return true;
        const std::uint64_t count = std::min(per_block, end - first);
        std::uint64_t wanted = 0;
        for (std::uint64_t c = first; c < first + count; ++c)
            wanted += scan.candidate(static_cast<std::uint32_t>(c)) ? 1 : 0;
        if (wanted == 0)
            continue;
        const std::size_t got = read_part(search.volume.source(), layout.cluster_offset(static_cast<std::uint32_t>(first)),
                                          std::span(buffer).first(static_cast<std::size_t>(count * cluster) + set_max_bytes));
        for (std::uint64_t i = 0; i < count; ++i) {
            const auto c = static_cast<std::uint32_t>(first + i);
            if (!scan.candidate(c))
                continue;
            std::span<const std::byte> bytes = std::span<const std::byte>(buffer).subspan(static_cast<std::size_t>(i * cluster));
            // The block could not be read whole: each cluster is read alone, so that one bad
            // sector hides nothing but its own cluster.
            if (got < (i + 1) * cluster) {
                const std::span<std::byte> own = std::span(buffer).subspan(static_cast<std::size_t>(i * cluster), static_cast<std::size_t>(cluster));
                if (read_part(search.volume.source(), layout.cluster_offset(c), own) != cluster) {
                    ++stats.unreadable_clusters;
                    if (++unreadable_run == dead_run_clusters)
                        return false;
                    continue;
                }
                bytes = own;
            }
            unreadable_run = 0;
            if (!scan.scan(c, bytes))
                return true;
        }
    }
    return true;
}

void join_exfat_pieces(const exfat_lost_finds_s& finds, const exfat_upcase_c& upcase,
                       const std::function<void(std::uint64_t at, std::uint32_t cluster, const exfat_file_set_s& set,
                                                const exfat_lost_piece_s& head)>& found)
{
    // Heads by their first entry's type: a tail needs a stream extension or a name entry next,
    // in use as its file entry is.
    std::unordered_map<std::uint8_t, std::vector<std::size_t>> by_type;
    for (std::size_t i = 0; i < finds.heads.size(); ++i)
        by_type[std::to_integer<std::uint8_t>(finds.heads[i].bytes[0])].push_back(i);
    std::vector<bool> used(finds.heads.size());
    std::vector<std::byte> joined;
    exfat_file_set_s set;
    std::uint64_t budget = join_bytes_max;
    for (const exfat_lost_piece_s& tail : finds.tails) {
        const std::size_t need = (std::size_t{std::to_integer<std::uint8_t>(tail.bytes[1])} + 1) * exfat_entry_bytes;
        const std::uint8_t in_use = std::to_integer<std::uint8_t>(tail.bytes[0]) & exfat_entry_in_use;
        const std::uint8_t next = (tail.bytes.size() == exfat_entry_bytes ? exfat_entry_stream : exfat_entry_name);
        const auto bucket = by_type.find(static_cast<std::uint8_t>((next & ~exfat_entry_in_use) | in_use));
        if (bucket == by_type.end())
            continue;
        for (const std::size_t i : bucket->second) {
            const exfat_lost_piece_s& head = finds.heads[i];
            if (used[i] || head.cluster == tail.cluster || tail.bytes.size() + head.bytes.size() < need)
                continue;
            if (budget < need)
                return;
            budget -= need;
            joined.assign(tail.bytes.begin(), tail.bytes.end());
            joined.insert(joined.end(), head.bytes.begin(), head.bytes.begin() + static_cast<std::ptrdiff_t>(need - tail.bytes.size()));
            read_exfat_file_set(joined, upcase, set);
            if (set.checksum_ok) {
                used[i] = true;
                found(tail.at, tail.cluster, set, head);
                break;
            }
        }
    }
}

} // namespace tarn
