#pragma once
// The engine interface: a worker thread that walks one volume and collects what can still be
// recovered. The page polls progress and counters and reports the end only through the
// thread's own finished signal.

#include "disk/volume_item.h"

#include <QString>
#include <QThread>

#include <cstdint>

namespace tarn {

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
};

} // namespace tarn
