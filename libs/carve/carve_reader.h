#pragma once
// Random access to a volume for the format descriptors, through a small window that the
// descriptors' forward walks mostly stay inside.

#include "platform/byte_source.h"

#include <cstdint>
#include <vector>

namespace tarn {

class carve_reader_c {
public:
    explicit carve_reader_c(byte_source_c& source) : source_(source) {}
    std::uint64_t size() const { return source_.size(); }
    // Bytes at offset into out; false unless all of them could be read.
    bool read(std::uint64_t offset, std::span<std::byte> out);
    // One byte, or -1 past the end or on a read failure.
    int byte_at(std::uint64_t offset);
    std::uint32_t be32(std::uint64_t offset, bool& ok);
    std::uint16_t be16(std::uint64_t offset, bool& ok);
    std::uint64_t be64(std::uint64_t offset, bool& ok);
    std::uint16_t le16(std::uint64_t offset, bool& ok);
    std::uint32_t le32(std::uint64_t offset, bool& ok);
    std::uint64_t le64(std::uint64_t offset, bool& ok);

private:
    bool fill(std::uint64_t offset);

    byte_source_c& source_;
    std::vector<std::byte> window_ = std::vector<std::byte>(1 << 16);
    std::uint64_t window_at_ = 0;
    std::size_t window_len_ = 0;
};

} // namespace tarn
