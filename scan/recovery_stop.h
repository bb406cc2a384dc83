#pragma once
// The idle engine: the page points at it whenever no real engine is chosen, so that it can
// always call the engine interface. Every operation does nothing; asked for a file, it has none.

#include "scan/recovery_base.h"

namespace tarn {

class recovery_stop_c final : public recovery_base_c {
    Q_OBJECT
public:
    using recovery_base_c::recovery_base_c;

    void set_volume(const volume_item_s&) override {}
    double get_progress() override { return 0.0; }
    void set_progress(double) override {}
    void set_stop(std::int32_t) override {}
    std::int32_t get_stop() override;
    std::int32_t get_pause() override { return 0; }
    void set_pause(std::int32_t) override {}
    std::int64_t get_read_count() override { return 0; }
    void reset() override {}
    // Nothing is written, so nothing may pass for recovered.
    std::int32_t recover_file(std::uint64_t, QString) override { return recovery_not_found; }
    std::int32_t get_file_path(std::uint64_t, QString&) override { return 0; }
    std::int64_t get_found_count() override { return 0; }

protected:
    // The page never starts it (a kind without an engine is refused before a start); started
    // anyway, it has nothing to walk and ends at once, where the thread's default run would wait
    // for an event loop to quit and never finish.
    void run() override {}
};

} // namespace tarn
