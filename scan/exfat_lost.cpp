// The exFAT engine's search for lost files: the entry sets of an earlier file system's folders,
// found in clusters no walk reached, rebuilt into their folders. A folder's own entry gives its
// first cluster and length, so the clusters found there are its files; a folder whose entry is
// gone (it lay in the old root, which the format wrote over) is named by its first cluster.

#include "scan/diagnostic_log.h"
#include "scan/exfat_recovery.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace tarn {

namespace {

// Sets kept at most: each costs a record, and a volume of crafted sets must not exhaust memory.
constexpr std::size_t lost_sets_max = std::size_t{1} << 21;
// No folder of exFAT is larger: a length that claims more is damage.
constexpr std::uint64_t folder_max_bytes = 256ull << 20;
// The walk's share of the progress when the search follows it.
constexpr double walk_share = 0.1;

// The index of cluster c among the folder clusters (in cluster order); folders.size() for none.
std::size_t index_of(std::span<const exfat_lost_cluster_s> folders, std::uint32_t c)
{
    const auto it = std::lower_bound(folders.begin(), folders.end(), c,
                                     [](const exfat_lost_cluster_s& f, std::uint32_t v) { return f.cluster < v; });
    return it != folders.end() && it->cluster == c ? static_cast<std::size_t>(it - folders.begin()) : folders.size();
}

// Whether folder cluster i may go on from the one before it: it follows it, and the one before
// neither ends its folder's entries nor leaves a set to go on elsewhere, and it does not go on
// from another cluster.
bool goes_on(std::span<const exfat_lost_cluster_s> folders, std::size_t i)
{
    return folders[i].cluster == folders[i - 1].cluster + 1 && !folders[i - 1].ended && !folders[i - 1].cut
           && !folders[i].joined;
}

// Keys of folders named by their cluster are odd; every entry's key is a multiple of 32.
bool is_run_key(std::uint64_t key)
{
    return (key & 1) != 0 && key != exfat_lost_key;
}

} // namespace

void exfat_recovery_c::search_lost()
{
    std::vector<lost_set_s> sets;
    exfat_lost_finds_s finds;
    const exfat_lost_search_s search{
        reader_, metadata_.bitmap, visited_, *metadata_.upcase,
        [this](double done) {
            control_.progress = walk_share + (1.0 - walk_share) * 0.99 * done;
            return control_.keep_running();
        },
        [&](std::uint64_t at, std::uint32_t cluster, const exfat_file_set_s& set) { return take_lost(at, cluster, set, sets); }};
    if (!search_exfat_lost(search, finds, lost_stats_))
        log_error("exfat", __LINE__, "search for lost files stopped after %llu unreadable clusters, the last ones in a row",
                  static_cast<unsigned long long>(lost_stats_.unreadable_clusters));
    else if (lost_stats_.unreadable_clusters != 0)
        log_error("exfat", __LINE__, "search for lost files passed over %llu unreadable clusters",
                  static_cast<unsigned long long>(lost_stats_.unreadable_clusters));
    if (lost_stats_.capped)
        log_error("exfat", __LINE__, "search for lost files stopped at %zu entry sets", sets.size());
    std::vector<std::pair<std::uint32_t, std::uint32_t>> links;
    std::vector<exfat_lost_cluster_s>& folders = finds.folders;
    join_exfat_pieces(finds, *metadata_.upcase, [&](std::uint64_t at, std::uint32_t cluster, const exfat_file_set_s& set,
                                                    const exfat_lost_piece_s& head) {
        take_lost(at, cluster, set, sets);
        links.emplace_back(cluster, head.cluster);
        folders.push_back({head.cluster, head.ended, head.cut, true});
    });
    // A head that holds sets of its own is listed twice now: once is enough, as joined.
    std::stable_sort(folders.begin(), folders.end(), [](const exfat_lost_cluster_s& a, const exfat_lost_cluster_s& b) {
        return a.cluster != b.cluster ? a.cluster < b.cluster : a.joined > b.joined;
    });
    folders.erase(std::unique(folders.begin(), folders.end(),
                              [](const exfat_lost_cluster_s& a, const exfat_lost_cluster_s& b) { return a.cluster == b.cluster; }),
                  folders.end());
    std::vector<std::uint64_t> owners(folders.size(), 0);
    std::vector<std::uint64_t> runs;
    claim_lost_folders(sets, folders, owners);
    name_unclaimed(folders, owners, runs);
    join_lost_runs(links, folders, owners, runs);
    place_lost(sets, folders, owners);
    break_lost_loops(sets);
    for (const std::uint64_t key : runs)
        lost_.children.push_back(&findings_.at(key));
    for (const lost_set_s& s : sets) {
        exfat_record_s& record = findings_.at(s.key);
        if (exfat_record_s* parent = folder_of(record.parent))
            parent->children.push_back(&record);
    }
}

bool exfat_recovery_c::take_lost(std::uint64_t at, std::uint32_t cluster, const exfat_file_set_s& set,
                                 std::vector<lost_set_s>& sets)
{
    if (sets.size() >= lost_sets_max)
        return false;
    const exfat_layout_s& layout = reader_.layout();
    const bool placed = layout.in_heap(set.first_cluster);
    // Data with no first cluster on the volume was never on it: a damaged or foreign set.
    if ((set.data_length != 0 && !placed && !set.directory()) || findings_.contains(at))
        return true;
    const std::uint64_t clusters = (set.data_length + layout.cluster_bytes() - 1) >> layout.cluster_shift;
    exfat_record_s record = make_record(at, set);
    record.parent = exfat_lost_key;
    record.deleted = 1; // gone from the file system in place, whatever the set says
    record.in_deleted_dir = 1;
    record.lost = 1;
    // The format wrote a new FAT: a chain is gone, and the clusters are guessed to follow one
    // another from the first, the way most files are written.
    record.layout = exfat_layout_e::contiguous;
    if (!set.directory()) {
        record.chain_gone = clusters > 1 && (set.stream_flags & exfat_flag_no_fat_chain) == 0 ? 1 : 0;
        record.overwritten = placed && metadata_.bitmap.any_in_use(set.first_cluster, clusters) ? 1 : 0;
    }
    findings_.emplace(at, std::move(record));
    sets.push_back({at, cluster, !set.deleted, (set.stream_flags & exfat_flag_no_fat_chain) != 0});
    ++control_.found_count;
    return true;
}

// Two passes, so that a folder whose length claims too much cannot take another's first cluster:
// first every folder takes its first cluster (folders whose entries are in use before deleted
// ones, which may name clusters a later folder took), then each takes the clusters that follow,
// up to its length and the first one another folder took. A folder kept without a FAT chain
// has its clusters one after another for certain; one kept along a chain (the format cleared
// it) takes the next cluster only where a set runs on into it, as its clusters may lie anywhere.
// Every cluster is taken once, so the passes are linear.
void exfat_recovery_c::claim_lost_folders(const std::vector<lost_set_s>& sets, std::span<const exfat_lost_cluster_s> folders,
                                          std::vector<std::uint64_t>& owners)
{
    struct start_s {
        std::uint64_t key;
        std::size_t first;
        bool contiguous;
    };
    std::vector<start_s> starts;
    for (const bool in_use_pass : {true, false})
        for (const lost_set_s& s : sets) {
            const exfat_record_s& record = findings_.at(s.key);
            if (!record.directory() || record.size == 0 || s.in_use != in_use_pass)
                continue;
            const std::size_t i = index_of(folders, record.first_cluster);
            if (i < folders.size() && owners[i] == 0) {
                owners[i] = s.key;
                starts.push_back({s.key, i, s.contiguous});
            }
        }
    const exfat_layout_s& layout = reader_.layout();
    for (const auto& [key, first, contiguous] : starts) {
        const exfat_record_s& record = findings_.at(key);
        const std::uint64_t length = std::min(record.size, folder_max_bytes);
        const std::uint64_t clusters = (length + layout.cluster_bytes() - 1) >> layout.cluster_shift;
        for (std::size_t i = first + 1; i < folders.size() && i - first < clusters; ++i) {
            const bool next = folders[i].cluster == folders[first].cluster + (i - first);
            if (!next || owners[i] != 0 || folders[i].joined || !(contiguous || folders[i].carried))
                break;
            owners[i] = key;
        }
    }
}

void exfat_recovery_c::name_unclaimed(std::span<const exfat_lost_cluster_s> folders, std::vector<std::uint64_t>& owners,
                                      std::vector<std::uint64_t>& runs)
{
    const exfat_layout_s& layout = reader_.layout();
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (owners[i] != 0)
            continue;
        if (i > 0 && is_run_key(owners[i - 1]) && goes_on(folders, i)) {
            owners[i] = owners[i - 1];
            continue;
        }
        const std::uint32_t c = folders[i].cluster;
        exfat_record_s record;
        record.key = layout.cluster_offset(c) + 1;
        record.parent = exfat_lost_key;
        record.first_cluster = c;
        record.attributes = exfat_attr_directory;
        record.deleted = 1;
        record.in_deleted_dir = 1;
        record.lost = 1;
        record.name = QStringLiteral("#%1").arg(c, 8, 10, QLatin1Char('0'));
        owners[i] = record.key;
        runs.push_back(record.key);
        findings_.emplace(record.key, std::move(record));
        ++control_.found_count;
    }
}

void exfat_recovery_c::join_lost_runs(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& links,
                                      std::span<const exfat_lost_cluster_s> folders, std::vector<std::uint64_t>& owners,
                                      std::vector<std::uint64_t>& runs)
{
    // A run joins the folder its head goes on from; the joins never loop (a join that would is
    // left out), and each lookup shortens the path it took, so this stays near linear.
    std::unordered_map<std::uint64_t, std::uint64_t> joins;
    const auto root = [&joins](std::uint64_t key) {
        std::uint64_t top = key;
        for (auto it = joins.find(top); it != joins.end(); it = joins.find(top))
            top = it->second;
        while (key != top) {
            std::uint64_t& next = joins[key];
            key = std::exchange(next, top);
        }
        return top;
    };
    for (const auto& [tail, head] : links) {
        const std::size_t t = index_of(folders, tail), h = index_of(folders, head);
        if (t == folders.size() || h == folders.size() || !is_run_key(owners[h]) || joins.contains(owners[h]))
            continue;
        if (const std::uint64_t to = root(owners[t]); to != owners[h])
            joins[owners[h]] = to;
    }
    for (std::uint64_t& owner : owners)
        owner = root(owner);
    std::erase_if(runs, [&](std::uint64_t key) {
        if (!joins.contains(key) || findings_.erase(key) == 0)
            return false;
        --control_.found_count;
        return true;
    });
}

void exfat_recovery_c::place_lost(const std::vector<lost_set_s>& sets, std::span<const exfat_lost_cluster_s> folders,
                                  const std::vector<std::uint64_t>& owners)
{
    for (const lost_set_s& s : sets) {
        const std::size_t i = index_of(folders, s.cluster);
        // Not listed only when the search stopped at the set: it stays in the top folder.
        if (i < folders.size())
            findings_.at(s.key).parent = owners[i];
    }
}

// Folders whose entries lie in each other's clusters (or a folder that lists itself) would hang
// below no top folder: each such loop is cut at one folder, which moves to the top folder of
// lost files. Every folder is climbed from once, so this is linear.
void exfat_recovery_c::break_lost_loops(const std::vector<lost_set_s>& sets)
{
    enum : std::uint8_t { climbing = 1, done = 2 };
    std::unordered_map<std::uint64_t, std::uint8_t> state;
    std::vector<std::uint64_t> path;
    for (const lost_set_s& s : sets) {
        if (!findings_.at(s.key).directory())
            continue;
        path.clear();
        std::uint64_t key = s.key;
        while (key != exfat_lost_key && state[key] == 0) {
            state[key] = climbing;
            path.push_back(key);
            key = findings_.at(key).parent;
        }
        if (key != exfat_lost_key && state[key] == climbing)
            findings_.at(path.back()).parent = exfat_lost_key;
        for (const std::uint64_t k : path)
            state[k] = done;
    }
}

} // namespace tarn
