#include "platform/noting_source.h"

#include <algorithm>
#include <utility>

namespace tarn {

std::int64_t noting_source_c::read_at(std::uint64_t offset, std::span<std::byte> out)
{
    const std::int64_t got = inner_->read_at(offset, out);
    const std::uint64_t wanted = offset < size_ ? std::min<std::uint64_t>(out.size(), size_ - offset) : 0;
    if (got >= 0 && static_cast<std::uint64_t>(got) >= wanted) {
        // All of it (every read of a sound disk but its last is whole). Once reads have failed,
        // what a retry gives back is no longer counted unreadable.
        if (noted_.load(std::memory_order_acquire)) {
            const std::lock_guard lock(mutex_);
            failures_.give_back(offset, static_cast<std::uint64_t>(got));
        }
        return got;
    }
    const std::lock_guard lock(mutex_);
    failures_.note(offset, wanted);
    noted_.store(true, std::memory_order_release);
    return -1;
}

read_failures_c noting_source_c::take_failures()
{
    const std::lock_guard lock(mutex_);
    noted_.store(false, std::memory_order_release);
    return std::exchange(failures_, read_failures_c{});
}

} // namespace tarn
