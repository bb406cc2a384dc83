#include "scan/disk_sector_layer.h"

#include "platform/aligned_buffer.h"
#include "platform/device.h"
#include "platform/disk_geometry.h"
#include "platform/physical_drives.h"
#include "platform/read_failures.h"
#include "platform/system.h"

#include <QFileInfo>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tarn {

namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t sector_bytes = 512;

// A drive: any byte source (a device opened by its path, or a buffer put there by a test or a
// fuzzer), with what its medium reported when it was put in the slot.
struct drive_slot_s {
    std::atomic<std::uint8_t> status{disk_status_not_ready};
    std::uint16_t sector_size = 0;
    std::uint32_t sector_count = 0;
    std::unique_ptr<byte_source_c> source;
    std::uint32_t logical_sector = sector_bytes;
    bool writable = false;
    read_failures_c failures; // since the engine last took them
};

struct disk_layer_s {
    std::atomic<int> drive_count{0};
    std::array<drive_slot_s, disk_max_drives> drives;
    std::timed_mutex io_mutex;
    std::unique_ptr<aligned_buffer_c> io_buffer;
    // Guards the slots' failure lists, which a read that could not get io_mutex writes too.
    std::mutex failures_mutex;

    // The watcher sleeps on this condition so that shutdown wakes it at once.
    std::mutex watch_mutex;
    std::condition_variable watch_wake;
    bool watch_stop = false;
    std::thread watcher;

    // A program that forgot disk_shutdown still must not end with a running thread.
    ~disk_layer_s() { stop_watcher(); }
    void stop_watcher()
    {
        if (!watcher.joinable())
            return;
        {
            std::lock_guard lock(watch_mutex);
            watch_stop = true;
        }
        watch_wake.notify_all();
        watcher.join();
    }
};

disk_layer_s& layer()
{
    static disk_layer_s instance;
    return instance;
}

bool medium_present(const drive_slot_s& slot)
{
    return slot.source && slot.source->size() >= slot.logical_sector;
}

// Refreshes a slot's geometry and status; the caller holds io_mutex.
void refresh_geometry(drive_slot_s& slot)
{
    const bool medium = medium_present(slot);
    const disk_geometry_s geometry =
        medium ? synthetic_geometry(slot.source->size(), slot.logical_sector, false) : disk_geometry_s{};
    const std::uint8_t status = disk_status_from(medium, medium ? 0 : -1, geometry, medium && slot.writable);
    if (!(status & disk_status_not_ready)) {
        slot.sector_size = static_cast<std::uint16_t>(geometry.bytes_per_sector);
        slot.sector_count = static_cast<std::uint32_t>(static_cast<std::uint64_t>(geometry.cylinders))
                            * geometry.tracks_per_cylinder * geometry.sectors_per_track;
    }
    slot.status = status;
}

// A drive opened for a slot, before it is put there.
struct opened_drive_s {
    QString path;
    std::unique_ptr<device_c> device;
    std::uint32_t logical_sector = sector_bytes;
    bool writable = false;
};

// Opens drives 0.. up to the first gap in the numbering, without the lock: opening a container
// image reads its tables, and reads of the drives in use go on meanwhile. A disk that is there
// but refuses to open (a disk this user may not read) is no gap: it keeps its number, not ready,
// so that the disks after it keep theirs.
std::vector<opened_drive_s> open_drives()
{
    // Listed once: the listing reads sysfs and probes loop devices.
    const QStringList paths = physical_drive_paths();
    std::vector<opened_drive_s> opened;
    for (std::uint32_t n = 0; n < disk_max_drives; ++n) {
        opened_drive_s drive;
        drive.path = paths.value(static_cast<qsizetype>(n));
        drive.device = drive.path.isEmpty() ? nullptr : device_c::open(drive.path, access_e::read);
        if (!drive.device && (drive.path.isEmpty() || !QFileInfo::exists(drive.path)))
            break;
        disk_geometry_s geometry;
        if (drive.device && drive.device->geometry(geometry) == 0)
            drive.logical_sector = geometry.bytes_per_sector;
        drive.writable = drive.device && drive.device->is_writable();
        opened.push_back(std::move(drive));
    }
    return opened;
}

void close_drives()
{
    disk_layer_s& l = layer();
    for (drive_slot_s& slot : l.drives) {
        slot.source.reset();
        {
            const std::lock_guard noted(l.failures_mutex);
            slot.failures.clear();
        }
        slot.status = disk_status_not_ready;
        slot.sector_size = 0;
        slot.sector_count = 0;
    }
}

// Puts the opened drives in their slots in place of what they held, printing a line for each;
// the caller holds io_mutex. Returns the number of drives.
int install_drives(std::vector<opened_drive_s>& opened)
{
    close_drives();
    disk_layer_s& l = layer();
    for (std::size_t n = 0; n < opened.size(); ++n) {
        drive_slot_s& slot = l.drives[n];
        slot.logical_sector = opened[n].logical_sector;
        slot.writable = opened[n].writable;
        slot.source = std::move(opened[n].device);
        refresh_geometry(slot);
        QString line = QString::asprintf("Disk# %u <== %s", static_cast<unsigned>(n), opened[n].path.toUtf8().constData());
        if (slot.status & disk_status_not_ready)
            line += QStringLiteral(" (Not Ready)\n");
        else
            line += QString::asprintf(" (%uMB, %u bytes * %u sectors)\n",
                                      static_cast<unsigned>(static_cast<std::uint64_t>(slot.sector_size)
                                                            * slot.sector_count / 1024 / 1024),
                                      static_cast<unsigned>(slot.sector_size), slot.sector_count);
        console_write(line);
    }
    return static_cast<int>(opened.size());
}

// Sleeps for the given time unless shutdown asks to stop; true when the watcher must end.
bool watcher_sleep(std::chrono::milliseconds time)
{
    disk_layer_s& l = layer();
    std::unique_lock lock(l.watch_mutex);
    return l.watch_wake.wait_for(lock, time, [&] { return l.watch_stop; });
}

// Drive 0 holds the system and is never polled; removable media sit on the later drives.
void watch_media()
{
    disk_layer_s& l = layer();
    while (!watcher_sleep(100ms)) {
        for (int n = 1; n < l.drive_count.load(); ++n) {
            if (watcher_sleep(1ms))
                return;
            drive_slot_s& slot = l.drives[static_cast<std::size_t>(n)];
            if (slot.status.load() & disk_status_not_ready)
                continue;
            std::unique_lock lock(l.io_mutex, 100ms);
            if (!lock.owns_lock())
                continue;
            if (!medium_present(slot))
                slot.status = slot.status.load() | disk_status_not_ready;
            lock.unlock();
            if (watcher_sleep(100ms))
                return;
        }
    }
}

} // namespace

std::uint8_t disk_status_from(bool medium_present, int geometry_result, const disk_geometry_s& geometry,
                              bool writable)
{
    if (!medium_present || geometry_result != 0 || geometry.bytes_per_sector != sector_bytes)
        return disk_status_not_ready;
    return writable ? 0 : disk_status_write_protected;
}

int disk_enumerate()
{
    disk_shutdown();
    disk_layer_s& l = layer();
    l.io_buffer = std::make_unique<aligned_buffer_c>(disk_bounce_size);
    if (!l.io_buffer->valid()) {
        l.io_buffer.reset();
        return 0;
    }
    {
        std::vector<opened_drive_s> opened = open_drives();
        std::lock_guard lock(l.io_mutex);
        l.drive_count = install_drives(opened);
    }
    {
        std::lock_guard lock(l.watch_mutex);
        l.watch_stop = false;
    }
    l.watcher = std::thread(watch_media);
    return l.drive_count;
}

int disk_attach(std::uint32_t drive, std::unique_ptr<byte_source_c> source)
{
    disk_layer_s& l = layer();
    if (drive >= disk_max_drives || !source)
        return -1;
    std::lock_guard lock(l.io_mutex);
    if (!l.io_buffer) {
        l.io_buffer = std::make_unique<aligned_buffer_c>(disk_bounce_size);
        if (!l.io_buffer->valid()) {
            l.io_buffer.reset();
            return -1;
        }
    }
    drive_slot_s& slot = l.drives[drive];
    slot.source = std::move(source);
    {
        const std::lock_guard noted(l.failures_mutex);
        slot.failures.clear();
    }
    slot.logical_sector = sector_bytes;
    slot.writable = false;
    refresh_geometry(slot);
    l.drive_count = std::max<int>(l.drive_count.load(), static_cast<int>(drive) + 1);
    return 0;
}

int disk_rescan()
{
    disk_layer_s& l = layer();
    std::vector<opened_drive_s> opened = open_drives();
    // A read in progress ends first; reads after it see the new drives.
    std::lock_guard lock(l.io_mutex);
    l.drive_count = install_drives(opened);
    return l.drive_count;
}

void disk_shutdown()
{
    disk_layer_s& l = layer();
    l.stop_watcher();
    std::lock_guard lock(l.io_mutex);
    l.drive_count = 0;
    close_drives();
    l.io_buffer.reset();
}

int disk_drive_count()
{
    return layer().drive_count;
}

std::uint8_t disk_init(std::uint32_t drive)
{
    disk_layer_s& l = layer();
    std::unique_lock lock(l.io_mutex, 5000ms);
    if (!lock.owns_lock() || drive >= static_cast<std::uint32_t>(l.drive_count.load()))
        return disk_status_not_ready;
    drive_slot_s& slot = l.drives[drive];
    refresh_geometry(slot);
    return slot.status;
}

std::uint8_t disk_status(std::uint32_t drive)
{
    disk_layer_s& l = layer();
    if (drive >= static_cast<std::uint32_t>(l.drive_count.load()))
        return disk_status_not_ready;
    return l.drives[drive].status;
}

int disk_read(std::uint32_t drive, std::span<std::byte> out, std::uint64_t sector, std::uint32_t count)
{
    disk_layer_s& l = layer();
    if (drive >= static_cast<std::uint32_t>(l.drive_count.load()))
        return disk_not_ready;
    const std::uint64_t bytes = static_cast<std::uint64_t>(count) * sector_bytes;
    if (bytes > disk_bounce_size || bytes > out.size())
        return disk_parameter_error;
    if (sector > UINT64_MAX / sector_bytes - disk_bounce_size)
        return disk_error;
    drive_slot_s& slot = l.drives[drive];
    std::unique_lock lock(l.io_mutex, 3000ms);
    if (!lock.owns_lock()) {
        // Another read held the disks that long (a failing disk retrying): these sectors were
        // not read, and the log says so as for any other failed read.
        const std::lock_guard noted(l.failures_mutex);
        slot.failures.note(sector * sector_bytes, bytes);
        return disk_not_ready;
    }
    // Looked at under the lock: a rescan has every drive closed until it is done, and the read
    // then waits for it instead of failing.
    if (drive >= static_cast<std::uint32_t>(l.drive_count.load()) || (slot.status.load() & disk_status_not_ready))
        return disk_not_ready;
    if (!slot.source || !l.io_buffer)
        return disk_error;
    std::span<std::byte> bounce = l.io_buffer->span().first(bytes);
    // A short read inside the disk is a failure too: the rest of the bounce buffer holds the
    // bytes of an earlier read, which must not pass for these sectors.
    if (slot.source->read_at(sector * sector_bytes, bounce) != static_cast<std::int64_t>(bytes)) {
        const std::lock_guard noted(l.failures_mutex);
        slot.failures.note(sector * sector_bytes, bytes);
        return disk_error;
    }
    std::memcpy(out.data(), bounce.data(), bytes);
    return disk_ok;
}

read_failures_c disk_take_failures(std::uint32_t drive)
{
    disk_layer_s& l = layer();
    if (drive >= disk_max_drives)
        return {};
    const std::lock_guard lock(l.failures_mutex);
    return std::exchange(l.drives[drive].failures, read_failures_c{});
}

} // namespace tarn
