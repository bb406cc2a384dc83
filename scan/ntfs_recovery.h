#pragma once
// The engine for NTFS volumes: opens a scan context of the NTFS library on the volume, keeps every
// deleted record and every folder, links them into a tree (files whose folder is gone into one
// folder of orphans) and marks the folders that hold files. With the lost-file search on, it also
// reads the whole volume for the file records of an earlier file system (a quick format) and
// adds them, with the folders rebuilt from their parent references, to the folder of orphans.

#include "disk/volume_item.h"
#include "scan/ntfs_lost_search.h"
#include "scan/ntfs_record.h"
#include "scan/counted_engine.h"

#include <array>
#include <unordered_map>

namespace tarn {

class ntfs_recovery_c final : public counted_engine_c {
    Q_OBJECT
public:
    using counted_engine_c::counted_engine_c;
    ~ntfs_recovery_c() override;

    void reset() override;
    // A recovery_result_e; the destination is replaced whatever the outcome.
    std::int32_t recover_file(std::uint64_t id, QString destination) override;
    std::int32_t get_file_path(std::uint64_t id, QString& path) override;

    // Read after the thread has finished; records never move until the next reset.
    const std::unordered_map<std::uint64_t, ntfs_record_s>& findings() const { return findings_; }
    // The folder of deleted records whose own folder is gone (missing, or reused by a file), and
    // of the records found outside the MFT (ids with ntfs_lost_id).
    const ntfs_record_s& orphans() const { return orphans_; }
    // The records found outside the MFT, indexed by id without ntfs_lost_id.
    const std::vector<ntfs_lost_found_s>& lost() const { return lost_; }
    // "/dev/hdXN" for the volume: X = 'a' + disk number, N = partition number.
    static QString device_name(const volume_item_s& volume);

protected:
    void run() override;

private:
    bool context_open() const;
    void close_context();
    void read_records();
    void link();
    void mark();
    // ntfs_recovery_lost.cpp: the search and the copy of what it found.
    double walk_share();
    void search_lost();
    void keep_lost(std::vector<ntfs_lost_found_s> found, std::uint64_t cluster_bytes);
    bool held_by_mft(const ntfs_decoded_record_s& record) const;
    std::int32_t recover_lost(std::uint64_t id, const QString& destination);

    alignas(8) std::array<std::byte, 8248> context_{};
    std::unordered_map<std::uint64_t, ntfs_record_s> findings_;
    ntfs_record_s orphans_;
    std::vector<ntfs_lost_found_s> lost_;
    double walk_share_ = 1.0; // the share of the progress bar the MFT walk fills
};

} // namespace tarn
