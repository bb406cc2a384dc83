#pragma once
// A byte source over a buffer in memory, so that every parser can be tested and fuzzed
// without a disk.

#include "platform/byte_source.h"

#include <vector>

namespace tarn {

class memory_source_c final : public byte_source_c {
public:
    explicit memory_source_c(std::vector<std::byte> bytes) : bytes_(std::move(bytes)) {}
    std::int64_t read_at(std::uint64_t offset, std::span<std::byte> out) override;
    std::uint64_t size() const override { return bytes_.size(); }

private:
    std::vector<std::byte> bytes_;
};

} // namespace tarn
