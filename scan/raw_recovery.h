#pragma once
// The deep-scan engine: lets the carving library search the whole volume for file signatures,
// keeps every hit and groups them by type, and copies a hit's bytes out of the volume.

#include "disk/volume_item.h"
#include "scan/raw_hit.h"
#include "scan/recovery_base.h"
#include "scan/write_behind.h"

#include <array>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace tarn {

class raw_recovery_c final : public recovery_base_c {
    Q_OBJECT
public:
    using recovery_base_c::recovery_base_c;
    ~raw_recovery_c() override;

    void set_volume(const volume_item_s& volume) override;
    double get_progress() override;
    void set_progress(double value) override;
    void set_stop(std::int32_t code) override;
    std::int32_t get_stop() override;
    std::int32_t get_pause() override;
    void set_pause(std::int32_t value) override;
    // The deep scan counts bytes, not records: both counters stay 0.
    std::int64_t get_read_count() override { return 0; }
    void reset() override;
    // Copies the hit's bytes from its own offset (a recovery_result_e).
    std::int32_t recover_file(std::uint64_t id, QString destination) override;
    scan_failure_e get_failure() const override { return failure_; }

    // Read after the thread has finished.
    const std::vector<raw_hit_s>& hits() const { return hits_; }
    // A copy of the hits found so far, safe while the scan adds more.
    std::vector<raw_hit_s> hits_snapshot() const;
    // One category per type, in the order of each type's first hit.
    const std::vector<raw_category_s>& categories() const { return categories_; }
    // Adds a hit as the library reports it (the scan's callback).
    void add_hit(std::string_view extension, std::uint64_t offset, std::uint64_t size);
    // Writes the hits to a scan file (0, or -1 when nothing was found or it cannot be written);
    // it works on a snapshot, so a save during a scan writes the hits found until then.
    int save_results(const QString& path) const;
    // Replaces the hits and categories with a scan file's; the volume path it names, empty when
    // the file is refused (then nothing changes).
    QString load_results(const QString& path);
    // Set after reset, before the scan: names for hits that start where a found file started.
    void set_known_names(raw_known_names names) { known_names_ = std::move(names); }
    // The known name of a hit at that offset; null when none.
    const QString* known_name(std::uint64_t offset) const
    {
        const auto it = known_names_.find(offset);
        return it == known_names_.end() ? nullptr : &it->second;
    }

protected:
    void run() override;

private:
    std::int32_t* block_int(std::size_t at);
    // Files the hit under its type's category.
    void add_category(const raw_hit_s& hit);

    alignas(8) std::array<std::byte, 32> block_{};
    volume_item_s volume_;
    QString device_path_;
    scan_failure_e failure_ = scan_failure_e::none;
    // The scan thread appends under this lock; readers after the scan need none.
    mutable std::mutex hits_lock_;
    std::vector<raw_hit_s> hits_;
    std::vector<raw_category_s> categories_;
    raw_known_names known_names_;
    std::unique_ptr<write_behind_c> writer_; // made for the first large file recovered
};

// Reads "./Tarnrecovery.conf" (or the file given) into the carving library once.
void configure_carving(const QString& path = QStringLiteral("./Tarnrecovery.conf"));

} // namespace tarn
