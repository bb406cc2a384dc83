#include "partition/partition_repair.h"

#include "partition/partition_search.h"
#include "partition/sector_backup.h"
#include "platform/aligned_buffer.h"
#include "platform/device.h"

#include <algorithm>

namespace tarn {

std::optional<table_kind_e> read_table_kind(const QString& path)
{
    const auto device = device_c::open(path, access_e::read);
    disk_table_s table;
    if (!device || read_disk_table(*device, device->size(), table) != 0)
        return std::nullopt;
    return table_kind(table);
}

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
    // Read before the search, so that the page can name the table while the search runs.
    table_kind_.store(drive_ ? read_table_kind(drive_->path).value_or(table_kind_e::none) : table_kind_e::none);
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

bool partition_repair_c::repair_allowed() const
{
    return drive_ && drive_->geometry && !isRunning();
}

namespace {

std::vector<guid_s> fresh_guids()
{
    std::vector<guid_s> out(repair_fresh_guids);
    std::ranges::generate(out, random_guid);
    return out;
}

} // namespace

std::optional<repair_preview_s> partition_repair_c::read_preview(device_c& device, std::vector<guid_s> fresh) const
{
    repair_preview_s preview;
    preview.fresh = std::move(fresh);
    if (read_disk_table(device, device.size(), preview.disk) != 0)
        return std::nullopt;
    const auto& geometry = *drive_->geometry;
    auto plan = plan_repair(preview.disk, partitions(), preview.fresh, geometry.sectors_per_track,
                            geometry.tracks_per_cylinder);
    // A GPT lies at LBA 1 of the disk's own sectors; on a disk whose logical sectors are not 512
    // bytes the tables we read and would write are not where the system looks for them.
    if (!plan || (plan->gpt && geometry.bytes_per_sector != 0 && geometry.bytes_per_sector != sector_bytes))
        return std::nullopt;
    preview.plan = std::move(*plan);
    for (const sector_write_s& run : preview.plan.writes) {
        sector_write_s old{run.lba, std::vector<std::byte>(run.bytes.size())};
        if (device.read_at(run.lba * sector_bytes, old.bytes) != static_cast<std::int64_t>(old.bytes.size()))
            return std::nullopt;
        preview.before.push_back(std::move(old));
    }
    return preview;
}

std::optional<repair_preview_s> partition_repair_c::preview_repair() const
{
    if (!repair_allowed())
        return std::nullopt;
    const auto device = device_c::open(drive_->path, access_e::read, /*uncached*/ true);
    if (!device)
        return std::nullopt;
    return read_preview(*device, fresh_guids());
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
    if (!repair_allowed())
        return -1;
    std::optional<repair_preview_s> now;
    {
        const auto device = device_c::open(drive_->path, access_e::read_write, /*uncached*/ true);
        if (!device)
            return -1;
        // The same GUIDs plan the same bytes, so an unchanged disk gives the confirmed preview.
        now = read_preview(*device, confirmed ? confirmed->fresh : fresh_guids());
        if (!now || (confirmed && *now != *confirmed))
            return -1;
        if (now->plan.writes.empty())
            return 0; // the table is sound: nothing to write, nothing to save
        QString saved_to;
        if (save_sector_backup(drive_->path, now->plan.gpt ? QStringLiteral("gpt") : QStringLiteral("mbr"), now->before,
                               saved_to)
            != 0)
            return -1;
        backup_path_ = saved_to;
        for (const sector_write_s& run : now->plan.writes)
            if (device->write_at(run.lba * sector_bytes, run.bytes) != static_cast<std::int64_t>(run.bytes.size()))
                return -1;
        if (device->flush() != 0)
            return -1;
    }
    return read_back(*now);
}

int partition_repair_c::read_back(const repair_preview_s& preview) const
{
    // A fresh uncached handle, so that the comparison sees the device and not the copy the
    // write left in memory.
    const auto check = device_c::open(drive_->path, access_e::read, /*uncached*/ true);
    if (!check)
        return -1;
    for (const sector_write_s& run : preview.plan.writes) {
        std::vector<std::byte> written(run.bytes.size());
        if (check->read_at(run.lba * sector_bytes, written) != static_cast<std::int64_t>(written.size())
            || written != run.bytes)
            return -1;
    }
    return 0;
}

} // namespace tarn
