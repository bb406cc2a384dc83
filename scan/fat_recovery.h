#pragma once
// The engine for FAT volumes: walks every directory (deleted ones too, read past their first
// cluster on the assumption that their clusters follow one another) through the FAT module,
// then looks for folder clusters that walk could not reach and reads them as part of the folder
// they continue, or into a folder of lost entries; every entry there is kept, deleted or not (a
// damaged FAT, a format). The search for lost files looks at the whole volume and puts the folders
// of an earlier root among the lost entries. Keeps one finding per start cluster (every directory,
// every deleted file and every unlisted one), links the findings into a tree and marks the folders
// that hold files.

#include "disk/volume_item.h"
#include "scan/fat_record.h"
#include "scan/fat_volume.h"
#include "scan/counted_engine.h"
#include "scan/fat_orphan_search.h"

#include <map>
#include <unordered_map>

namespace tarn {

class fat_recovery_c final : public counted_engine_c {
    Q_OBJECT
public:
    using counted_engine_c::counted_engine_c;
    ~fat_recovery_c() override;

    void reset() override;
    // recovery_ok when the whole file was written; recovery_not_found, recovery_unwritable, or
    // recovery_incomplete when the copy ended early (a read failure is logged with its place).
    std::int32_t recover_file(std::uint64_t id, QString destination) override;
    std::int32_t get_file_path(std::uint64_t id, QString& path) override;

    // Read after the thread has finished. Records never move, so pointers into it stay valid
    // until the next reset.
    const std::unordered_map<std::uint32_t, fat_record_s>& findings() const { return findings_; }
    // The folder of lost entries: what was found in folder clusters that no folder could be told
    // for. Its children are linked like any folder's; it has no start cluster.
    const fat_record_s& lost() const { return lost_; }
    // The record of a row's id: a live file's when the id carries fat_live_id; null when none.
    const fat_record_s* file_of(std::uint64_t id) const;
    // What the search for unreached folder clusters looked at, and its share of the scan's time.
    const fat_orphan_stats_s& orphan_stats() const { return orphan_stats_; }

protected:
    void run() override;

private:
    // A folder whose contiguous read ended open: the entries may go on in another cluster.
    struct open_end_s {
        std::uint32_t owner = 0;
        std::uint16_t resume = 0xFFFF; // entry of the last cluster where a split long name began
        std::uint32_t next_data = 0;   // the cluster after the data of its last entry
    };
    // How an unreached run is placed, from the surest rule to the last resort.
    enum class placing_e {
        by_data,   // a continuation whose first entry's data follows an open folder's last entry's
        by_parent, // a folder's first cluster whose ".." names a known folder
        by_place,  // a continuation after the nearest open folder before it
        to_lost,   // a folder's first cluster whose parent is unknown: into the lost entries
        anything,  // whatever is left
    };
    struct frame_s {
        fat_dir_s dir;
        std::uint32_t start = 0; // the cluster the read begins at
        std::uint32_t owner = 0; // the folder its entries belong to (0: the root)
        bool lost = false;       // entries of no known folder: they go to the lost entries
        bool in_deleted = false;
        // Entries never marked deleted are kept too, as unlisted: a folder cluster no walk
        // reached, a folder the FAT no longer allocates, and everything below them.
        bool keep_all = false;
        bool root = false;
        bool read_any = false;
        std::uint32_t next_data = 0; // see open_end_s
    };
    // Points the module's volume 0 at the chosen volume; false when it cannot be located.
    bool locate_volume();
    void walk();
    // Reads the frames on stack to the end, depth first, with the folders they lead to.
    void drain(std::vector<frame_s>& stack);
    // The module's result of opening the frame's folder (fr_ok when it opened).
    int open_frame(frame_s& frame, bool root);
    // Opens and rewinds a folder read at frame.start and puts it on stack; false when it cannot
    // be read (a start cluster outside the volume).
    bool push_frame(frame_s frame, std::vector<frame_s>& stack);
    // One entry of the frame's directory: false when the directory has ended; a directory to
    // walk next is pushed onto stack.
    bool read_entry(frame_s& frame, std::vector<frame_s>& stack);
    static bool fits_volume(const fat_fs_s& fs, const fat_info_s& info);
    fat_record_s make_record(const frame_s& frame, const fat_info_s& info) const;
    // Keeps where a folder read on the contiguous assumption ended, when its entries may go on.
    void note_end(const frame_s& frame);
    // Stores or merges the record; true when its start cluster was not known before.
    bool resolve(fat_record_s&& record);

    // The search for unreached folder clusters and their placing (fat_orphans.cpp).
    void adopt_orphans();
    // Places one run by the given rule; true when placed (or read meanwhile).
    bool place_run(const fat_orphan_run_s& run, placing_e how);
    // The open folder a continuation run belongs to by the rule; open_ends_.end() for none.
    std::map<std::uint32_t, open_end_s>::iterator owner_of(const fat_orphan_run_s& run, placing_e how);
    void take_open_end(std::map<std::uint32_t, open_end_s>::iterator open);
    bool known_folder(std::uint32_t cluster) const;
    void read_run(const fat_orphan_run_s& run, std::uint32_t owner, bool lost);
    // Reads the run as the continuation of the folder that ended open at last_cluster.
    void continue_folder(const fat_orphan_run_s& run, std::uint32_t last_cluster, const open_end_s& open);
    void adopt_folder(const fat_orphan_run_s& run, bool lost);
    // Whether the search's runs may name the root of the file system in place as their parent:
    // not in the search for lost files, whose folders belonged to an earlier file system.
    bool parent_known(std::uint32_t cluster) const;

    // How each unlisted file is read, and whether the file system in place took its clusters
    // (fat_unlisted.cpp).
    void judge_unlisted();
    // One file; every FAT entry it looks at is taken from budget.
    void judge_unlisted(fat_record_s& record, std::uint64_t& budget);

    // The record's folder: the lost entries for a lost record, none for the lost entries
    // themselves or when the parent is unknown.
    fat_record_s* parent_of(const fat_record_s& record);
    void clear_findings();
    void link();
    void mark();

    std::unordered_map<std::uint32_t, fat_record_s> findings_;
    // Files that still exist, by start cluster; a row's id carries fat_live_id for them.
    std::unordered_map<std::uint32_t, fat_record_s> live_files_;
    fat_record_s lost_;
    fat_cluster_set_c visited_;
    // Folders whose contiguous read ended open, by the last cluster read: the owners a run of
    // unreached clusters can continue.
    std::map<std::uint32_t, open_end_s> open_ends_;
    std::multimap<std::uint32_t, std::uint32_t> open_by_data_; // next_data → key in open_ends_
    fat_orphan_stats_s orphan_stats_;
    std::vector<char16_t> lfn_ = std::vector<char16_t>(512);
    bool searching_ = false; // the search for unreached folder clusters runs: it sets the progress
};

// The walk's share of the progress when the search for lost files follows it over the whole volume.
inline constexpr double fat_walk_share = 0.1;

// The module's volume object, registered as volume 0 for every FAT scan.
fat_fs_s& fat_volume_object();

} // namespace tarn
