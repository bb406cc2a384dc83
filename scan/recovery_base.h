#pragma once
// The engine interface: a worker thread that walks one volume and collects what can still be
// recovered. The page polls progress and counters and reports the end only through the
// thread's own finished signal.

#include "disk/volume_item.h"

#include <QString>
#include <QThread>

#include <cstdint>

namespace tarn {

// Why a scan could not walk its volume at all. A scan that failed is not an empty result: the
// page and the command line say so instead of "nothing found".
enum class scan_failure_e {
    none,
    volume_missing, // the volume cannot be located or opened
    unreadable,     // reading the volume's first structures failed
    no_file_system, // no file system this engine reads at the volume's start
    damaged,        // the file system's own structures point outside it
};

// An English sentence for logs and the command line.
QString scan_failure_text(scan_failure_e failure);

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
    // 0 when the file's content was written to destination, negative on failure.
    virtual std::int32_t recover_file(std::uint64_t id, QString destination) = 0;
    virtual std::int32_t get_file_path(std::uint64_t id, QString& path);
    virtual std::int64_t get_found_count();
    // Read after the thread has finished: why the last scan could not run, if it could not.
    virtual scan_failure_e get_failure() const;
};

} // namespace tarn
