#pragma once
// What the FAT and NTFS engines share: the control block of progress, pause, stop and counters
// behind the engine interface's plain accessors, the volume they scan, why a scan failed, and
// the live path of a finding on the mounted volume.

#include "disk/volume_item.h"
#include "scan/recovery_base.h"
#include "scan/recovery_control.h"

#include <QStringList>

namespace tarn {

class counted_engine_c : public recovery_base_c {
    Q_OBJECT
public:
    using recovery_base_c::recovery_base_c;

    void set_volume(const volume_item_s& volume) override { volume_ = volume; }
    double get_progress() override { return control_.progress; }
    void set_progress(double value) override { control_.progress = value; }
    void set_stop(std::int32_t code) override { control_.stop = code; }
    std::int32_t get_stop() override { return control_.stop; }
    std::int32_t get_pause() override { return control_.pause; }
    void set_pause(std::int32_t value) override { control_.pause = value; }
    std::int64_t get_read_count() override { return control_.read_count; }
    std::int64_t get_found_count() override { return control_.found_count; }
    scan_failure_e get_failure() const override { return failure_; }
    void set_lost_search(bool on) override { lost_search_ = on; }

protected:
    // The volume's mount path without its last separator, then "/" and each name into path;
    // false when a name read from the disk is not one plain path part ("", ".", "..", or with a
    // separator in it), which could lead the path out of the volume.
    bool live_path(const QStringList& names, QString& path) const;

    volume_item_s volume_;
    recovery_control_s control_;
    scan_failure_e failure_ = scan_failure_e::none;
    bool lost_search_ = false; // read by the engine thread only after start
};

} // namespace tarn
