#pragma once
// The engine for NTFS volumes: opens a scan context of the NTFS library on the volume, keeps every
// deleted record and every folder, links them into a tree (files whose folder is gone into one
// folder of orphans) and marks the folders that hold files.

#include "disk/volume_item.h"
#include "scan/ntfs_record.h"
#include "scan/recovery_base.h"
#include "scan/recovery_control.h"

#include <array>
#include <unordered_map>

namespace tarn {

class ntfs_recovery_c final : public recovery_base_c {
    Q_OBJECT
public:
    using recovery_base_c::recovery_base_c;
    ~ntfs_recovery_c() override;

    void set_volume(const volume_item_s& volume) override { volume_ = volume; }
    double get_progress() override { return control_.progress; }
    void set_progress(double value) override { control_.progress = value; }
    void set_stop(std::int32_t code) override { control_.stop = code; }
    std::int32_t get_stop() override { return control_.stop; }
    std::int32_t get_pause() override { return control_.pause; }
    void set_pause(std::int32_t value) override { control_.pause = value; }
    std::int64_t get_read_count() override { return control_.read_count; }
    void reset() override;
    // A recovery_result_e; the destination is replaced whatever the outcome.
    std::int32_t recover_file(std::uint64_t id, QString destination) override;
    std::int32_t get_file_path(std::uint64_t id, QString& path) override;
    std::int64_t get_found_count() override { return control_.found_count; }
    scan_failure_e get_failure() const override { return failure_; }

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
    volume_item_s volume_;
    recovery_control_s control_;
    scan_failure_e failure_ = scan_failure_e::none;
    std::unordered_map<std::uint64_t, ntfs_record_s> findings_;
    ntfs_record_s orphans_;
};

} // namespace tarn
