#include "platform/memory_source.h"

#include <algorithm>
#include <cstring>

namespace tarn {

std::int64_t memory_source_c::read_at(std::uint64_t offset, std::span<std::byte> out)
{
    if (offset >= bytes_.size())
        return 0;
    const auto n = std::min<std::uint64_t>(out.size(), bytes_.size() - offset);
    std::memcpy(out.data(), bytes_.data() + offset, n);
    return static_cast<std::int64_t>(n);
}

} // namespace tarn
