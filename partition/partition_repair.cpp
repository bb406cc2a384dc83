#include "partition/partition_repair.h"

#include "partition/master_boot_record.h"
#include "partition/partition_search.h"
#include "partition/sector_backup.h"
#include "platform/aligned_buffer.h"
#include "platform/device.h"

namespace tarn {

partition_repair_c::partition_repair_c(QObject* parent) : QThread(parent) {}

partition_repair_c::~partition_repair_c()
{
    stop_search();
}

int partition_repair_c::set_drive(const drive_item_s& drive)
{
    if (isRunning())
        return -1;
    drive_ = drive;
    return 0;
}

std::optional<drive_item_s> partition_repair_c::drive() const
{
    return drive_;
}

void partition_repair_c::start_search()
{
    if (isRunning())
        return;
    stop_.store(false);
    start(QThread::InheritPriority);
}

void partition_repair_c::request_stop()
{
    stop_.store(true);
}

void partition_repair_c::stop_search()
{
    request_stop();
    wait();
}

std::vector<partition_item_s> partition_repair_c::partitions() const
{
    const std::lock_guard guard(partitions_lock_);
    return partitions_;
}

std::size_t partition_repair_c::partition_count() const
{
    const std::lock_guard guard(partitions_lock_);
    return partitions_.size();
}

void partition_repair_c::append(const partition_item_s& item)
{
    {
        const std::lock_guard guard(partitions_lock_);
        partitions_.push_back(item);
    }
    emit partition_found();
}

void partition_repair_c::run()
{
    {
        const std::lock_guard guard(partitions_lock_);
        partitions_.clear();
    }
    progress_.store(0.0);
    search_result_.store(drive_ ? search_partitions(*drive_) : -1);
}

int partition_repair_c::search_partitions(const drive_item_s& drive)
{
    // Uncached: a search reads the whole disk once, and caching it would only evict what the
    // rest of the system needs.
    const auto device = device_c::open(drive.path, access_e::read, /*uncached*/ true);
    if (!device)
        return -1;
    aligned_buffer_c buffer(search_buffer_bytes);
    if (!buffer.valid())
        return -1;
    const search_control_s control{stop_, progress_, [this](const partition_item_s& item) { append(item); }};
    return search_disk(*device, drive.size, buffer.span(), control) == search_disk_silent ? search_disk_silent : 0;
}

std::vector<partition_item_s> partition_repair_c::finds_to_write() const
{
    if (!drive_ || !drive_->geometry || isRunning())
        return {};
    // With nothing found there is nothing to write back, and the boot code on the disk stays.
    return partitions();
}

std::optional<repair_preview_s> partition_repair_c::read_preview(device_c& device,
                                                                 const std::vector<partition_item_s>& found) const
{
    repair_preview_s preview;
    if (device.read_at(0, preview.current) != sector_bytes)
        return std::nullopt;
    const auto& geometry = *drive_->geometry;
    preview.plan =
        plan_partition_table(preview.current, found, geometry.sectors_per_track, geometry.tracks_per_cylinder);
    return preview;
}

std::optional<repair_preview_s> partition_repair_c::preview_repair() const
{
    const auto found = finds_to_write();
    if (found.empty())
        return std::nullopt;
    const auto device = device_c::open(drive_->path, access_e::read, /*uncached*/ true);
    if (!device)
        return std::nullopt;
    return read_preview(*device, found);
}

int partition_repair_c::write_partition_table()
{
    return write_checked(nullptr);
}

int partition_repair_c::write_partition_table(const repair_preview_s& confirmed)
{
    return write_checked(&confirmed);
}

int partition_repair_c::write_checked(const repair_preview_s* confirmed)
{
    backup_path_.clear();
    const auto found = finds_to_write();
    if (found.empty())
        return -1;
    sector_s record{};
    {
        const auto device = device_c::open(drive_->path, access_e::read_write, /*uncached*/ true);
        if (!device)
            return -1;
        const auto now = read_preview(*device, found);
        if (!now || (confirmed && *now != *confirmed))
            return -1;
        QString saved_to;
        if (save_sector_backup(drive_->path, now->current, saved_to) != 0)
            return -1;
        backup_path_ = saved_to;
        record = build_master_boot_record(now->current, now->plan.entries());
        if (device->write_at(0, record) != sector_bytes || device->flush() != 0)
            return -1;
    }
    // Read back through a fresh uncached handle, so that the comparison sees the device and not
    // the copy the write left in memory.
    const auto check = device_c::open(drive_->path, access_e::read, /*uncached*/ true);
    sector_s written{};
    if (!check || check->read_at(0, written) != sector_bytes)
        return -1;
    return written == record ? 0 : -1;
}

} // namespace tarn
