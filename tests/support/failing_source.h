#pragma once
// A byte source for tests that stands for a failing disk: over any other source, reads that
// touch chosen byte ranges fail, or come back short, as a disk with bad sectors or one that has
// stopped answering does.

#include "platform/byte_source.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace tarn::test {

enum class failure_kind_e {
    error,     // the read fails (-1)
    short_read // the read gives only the bytes before the range (0 when it starts inside)
};

struct failing_range_s {
    std::uint64_t at = 0;
    std::uint64_t bytes = 0;
    failure_kind_e kind = failure_kind_e::error;
};

// Everything from at to the end of the source: the disk stopped answering there.
inline failing_range_s failing_from(std::uint64_t at, failure_kind_e kind = failure_kind_e::error)
{
    return {at, UINT64_MAX - at, kind};
}

// Shared between the test and the source, which the code under test may own: the test can
// change the ranges between steps and read the count of reads that failed and of the bytes read.
struct failure_plan_s {
    std::vector<failing_range_s> ranges;
    std::atomic<std::uint64_t> failed_reads{0};
    std::atomic<std::uint64_t> bytes_read{0}; // what the reads that did not fail delivered
};

class failing_source_c final : public byte_source_c {
public:
    failing_source_c(std::unique_ptr<byte_source_c> inner, std::shared_ptr<failure_plan_s> plan)
        : inner_(std::move(inner)), plan_(std::move(plan)) {}
    std::int64_t read_at(std::uint64_t offset, std::span<std::byte> out) override;
    std::uint64_t size() const override { return inner_->size(); }

private:
    std::unique_ptr<byte_source_c> inner_;
    std::shared_ptr<failure_plan_s> plan_;
};

} // namespace tarn::test
