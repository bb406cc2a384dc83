#pragma once
// The engine for NTFS volumes: opens a scan context of the NTFS library on the volume, keeps every
// deleted record and every folder, links them into a tree (files whose folder is gone into one
// folder of orphans) and marks the folders that hold files.

#include "disk/volume_item.h"
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
    // The folder of deleted records whose own folder is gone (missing, or reused by a file).
    const ntfs_record_s& orphans() const { return orphans_; }
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

    alignas(8) std::array<std::byte, 8248> context_{};
    std::unordered_map<std::uint64_t, ntfs_record_s> findings_;
    ntfs_record_s orphans_;
};

} // namespace tarn
