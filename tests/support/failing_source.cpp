#include "tests/support/failing_source.h"

#include <algorithm>

namespace tarn::test {

std::int64_t failing_source_c::read_at(std::uint64_t offset, std::span<std::byte> out)
{
    // Only the bytes the source really has count: a read past the end is short anyway.
    const std::uint64_t have = offset < size() ? std::min<std::uint64_t>(out.size(), size() - offset) : 0;
    const failing_range_s* hit = nullptr;
    for (const failing_range_s& r : plan_->ranges)
        if (have != 0 && offset < r.at + r.bytes && r.at < offset + have && (hit == nullptr || r.at < hit->at))
            hit = &r;
    const auto counted = [this](std::int64_t got) {
        plan_->bytes_read += got > 0 ? static_cast<std::uint64_t>(got) : 0;
        return got;
    };
    if (hit == nullptr)
        return counted(inner_->read_at(offset, out));
    ++plan_->failed_reads;
    if (hit->kind == failure_kind_e::error)
        return -1;
    if (hit->at <= offset)
        return 0;
    return counted(inner_->read_at(offset, out.first(static_cast<std::size_t>(hit->at - offset))));
}

} // namespace tarn::test
