#pragma once
// The engine for exFAT volumes: reads the boot region (the backup where the main copy is
// damaged), the allocation bitmap and up-case table, then walks every folder, deleted ones too,
// keeping every folder and every deleted file as a finding linked into a tree. A deleted file or
// folder is read from its first cluster: one cluster after another when its NoFatChain flag says
// so, along its FAT chain when that is still whole, and otherwise one cluster after another as a
// guess, which its finding records. Asked to search for lost files, it then reads the whole
// volume for the folders of an earlier file system (a quick format's) and rebuilds their tree
// under one top folder of lost files.

#include "platform/noting_source.h"
#include "scan/counted_engine.h"
#include "scan/exfat_chain_check.h"
#include "scan/exfat_entry_set.h"
#include "scan/exfat_lost_search.h"
#include "scan/exfat_metadata.h"
#include "scan/exfat_record.h"
#include "scan/exfat_volume.h"
#include "scan/write_behind.h"

#include <memory>
#include <unordered_map>

class QFile;

namespace tarn {

class exfat_recovery_c final : public counted_engine_c {
    Q_OBJECT
public:
    using counted_engine_c::counted_engine_c;
    ~exfat_recovery_c() override;

    void reset() override;
    // recovery_ok when the whole file was written; recovery_not_found, recovery_unwritable, or
    // recovery_incomplete when the copy ended early or the file claims more than the volume holds
    // from its first cluster (what the volume holds is written).
    std::int32_t recover_file(std::uint64_t id, QString destination) override;
    std::int32_t get_file_path(std::uint64_t id, QString& path) override;
    // Scans source instead of opening the volume's path: a volume read from memory, or through a
    // disk that fails, in tests and fuzzing. Taken by the next scan.
    void set_source(std::unique_ptr<byte_source_c> source) { given_source_ = std::move(source); }

    // Read after the thread has finished. Records never move, so pointers into it stay valid
    // until the next reset. The root folder has key 0.
    const std::unordered_map<std::uint64_t, exfat_record_s>& findings() const { return findings_; }
    // The top folder of lost files: what the search for lost files found, whose folder went with
    // the file system it belonged to; its children's parent is exfat_lost_key.
    const exfat_record_s& lost() const { return lost_; }
    const exfat_lost_stats_s& lost_stats() const { return lost_stats_; }
    // The volume's label, from its root folder; empty when it has none.
    const QString& label() const { return metadata_.label; }
    // The up-case table and bitmap the scan read (a stand-in table when the volume's is unsound).
    const exfat_metadata_s& metadata() const { return metadata_; }
    const exfat_layout_s& layout() const { return reader_.layout(); }

protected:
    void run() override;

private:
    // A folder waiting to be read.
    struct folder_s {
        std::uint64_t key = 0;
        std::uint32_t first = 0;
        std::uint64_t clusters = 0;
        exfat_layout_e layout = exfat_layout_e::chain;
        bool free_only = false;  // its clusters must be free in the bitmap: it was deleted
        bool in_deleted = false; // it is deleted or lies in a deleted folder
    };

    // Opens the volume and its boot region; false with failure_ set when it cannot be read.
    bool open_volume();
    void walk();
    // The folder's bytes in out, with the runs they came from; logs where the read ended early.
    // False when a read failed.
    bool read_folder(const folder_s& folder, std::vector<exfat_run_s>& runs, std::vector<std::byte>& out);
    // Reads the entry sets of a folder's bytes; the folders among them are put on pending.
    void read_entries(const folder_s& folder, std::span<const exfat_run_s> runs, std::span<const std::byte> bytes,
                      std::vector<folder_s>& pending);
    // Keeps the set found at byte offset `at` of the volume in folder; a folder to read is put on
    // pending.
    void take_set(const folder_s& folder, std::uint64_t at, const exfat_file_set_s& set, std::vector<folder_s>& pending);
    exfat_layout_e layout_of(const exfat_file_set_s& set, std::uint64_t clusters);
    // The record of the set whose file entry is at byte `at`: its fields as the set gives them.
    exfat_record_s make_record(std::uint64_t at, const exfat_file_set_s& set) const;
    void mark();
    // The folder record of a parent key: the lost files' top folder for exfat_lost_key; null
    // when there is none.
    exfat_record_s* folder_of(std::uint64_t key);

    // The search for lost files and the tree of what it found (exfat_lost.cpp).
    struct lost_set_s {
        std::uint64_t key = 0;
        std::uint32_t cluster = 0; // the one its file entry lies in
        bool in_use = false;       // its entries were in use when the file system was given up
        bool contiguous = false;   // NoFatChain: its clusters follow one another
    };
    void search_lost();
    // Keeps a set the search found; false when no more are taken.
    bool take_lost(std::uint64_t at, std::uint32_t cluster, const exfat_file_set_s& set, std::vector<lost_set_s>& sets);
    // Each found folder's clusters, from its entry: owners[i] is the key of the folder that
    // folders[i] belongs to, 0 where no entry names it.
    void claim_lost_folders(const std::vector<lost_set_s>& sets, std::span<const exfat_lost_cluster_s> folders,
                            std::vector<std::uint64_t>& owners);
    // Folders no entry names become folders named by their first cluster; their keys in runs.
    void name_unclaimed(std::span<const exfat_lost_cluster_s> folders, std::vector<std::uint64_t>& owners,
                        std::vector<std::uint64_t>& runs);
    // Folders whose clusters do not follow one another: a folder named by its cluster whose first
    // cluster goes on from another's (links: tail cluster, head cluster) is that one's.
    void join_lost_runs(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& links,
                        std::span<const exfat_lost_cluster_s> folders, std::vector<std::uint64_t>& owners,
                        std::vector<std::uint64_t>& runs);
    void place_lost(const std::vector<lost_set_s>& sets, std::span<const exfat_lost_cluster_s> folders,
                    const std::vector<std::uint64_t>& owners);
    void break_lost_loops(const std::vector<lost_set_s>& sets);

    // Writes the record's bytes to out; recovery_ok, or recovery_incomplete (logged).
    std::int32_t copy_file(const exfat_record_s& record, QFile& out);

    std::unique_ptr<byte_source_c> given_source_;
    std::unique_ptr<noting_source_c> source_;
    exfat_volume_c reader_;
    exfat_metadata_s metadata_;
    std::unique_ptr<exfat_chain_check_c> chains_;
    std::vector<bool> visited_; // the clusters read as part of a folder
    std::unordered_map<std::uint64_t, exfat_record_s> findings_;
    exfat_record_s lost_;
    exfat_lost_stats_s lost_stats_;
    std::unique_ptr<write_behind_c> writer_; // made for the first large file recovered
};

} // namespace tarn
