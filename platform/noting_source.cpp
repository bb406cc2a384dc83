#include "platform/noting_source.h"

#include <algorithm>
#include <utility>

namespace tarn {

std::int64_t noting_source_c::read_at(std::uint64_t offset, std::span<std::byte> out)
{
    const std::int64_t got = inner_->read_at(offset, out);
    if (got >= 0 && static_cast<std::uint64_t>(got) == out.size())
        return got; // all of it: every read of a sound disk but its last
    const std::uint64_t wanted = offset < size_ ? std::min<std::uint64_t>(out.size(), size_ - offset) : 0;
    if (got >= 0 && static_cast<std::uint64_t>(got) >= wanted)
        return got;
    const std::lock_guard lock(mutex_);
    failures_.note(offset, wanted);
    return -1;
}

read_failures_c noting_source_c::take_failures()
{
    const std::lock_guard lock(mutex_);
    return std::exchange(failures_, read_failures_c{});
}

} // namespace tarn
