#pragma once
// The engine interface: a worker thread that walks one volume and collects what can still be
// recovered. The page polls progress and counters and reports the end only through the
// thread's own finished signal.

#include "disk/volume_item.h"

#include <QString>
#include <QThread>

#include <cstdint>
#include <mutex>

namespace tarn {

// Why a scan could not walk its volume at all. A scan that failed is not an empty result: the
// page and the command line say so instead of "nothing found".
enum class scan_failure_e {
    none,
    volume_missing, // the volume cannot be located or opened
    unreadable,     // reading the volume's first structures failed
    no_file_system, // no file system this engine reads at the volume's start
    damaged,        // the file system's own structures point outside it
    unsupported,    // a sound file system of a shape the engine does not read (NTFS clusters over 64 KiB)
};

// An English sentence for logs and the command line.
QString scan_failure_text(scan_failure_e failure);

// What writing one found file out gave.
enum recovery_result_e : std::int32_t {
    recovery_ok = 0,
    recovery_not_found = -1,  // no such id, or no live path for it
    recovery_incomplete = -2, // a read or write failed on the way; the shorter copy stays
    recovery_busy = -3,       // the engine was in use and the caller would not wait
    recovery_unwritable = -4, // the destination could not be created
};

class recovery_base_c : public QThread {
    Q_OBJECT
public:
    using QThread::QThread;

    virtual void set_volume(const volume_item_s& volume) = 0;
    virtual double get_progress() = 0;
    virtual void set_progress(double value) = 0;
    virtual void set_stop(std::int32_t code) = 0;
    virtual std::int32_t get_stop();
    virtual std::int32_t get_pause() = 0;
    virtual void set_pause(std::int32_t value) = 0;
    virtual std::int64_t get_read_count() = 0;
    virtual void reset() = 0;
    // A recovery_result_e: recovery_ok when the file's content was written to destination.
    virtual std::int32_t recover_file(std::uint64_t id, QString destination) = 0;
    virtual std::int32_t get_file_path(std::uint64_t id, QString& path);
    virtual std::int64_t get_found_count();
    // Read after the thread has finished: why the last scan could not run, if it could not.
    virtual scan_failure_e get_failure() const;
    // Set before the thread starts: the next scan also searches the whole volume for the files
    // of an earlier file system (a quick format, a damaged table) and lists them under the
    // folder of lost files. Engines without such a search ignore it (their table entry says).
    virtual void set_lost_search(bool on);

    // Held by whoever writes a file out of this engine's findings (the preview, the extraction
    // thread, the command line): one at a time.
    std::mutex& file_lock() { return file_lock_; }

private:
    std::mutex file_lock_;
};

} // namespace tarn
