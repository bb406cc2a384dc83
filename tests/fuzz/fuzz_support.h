#pragma once
// What the fuzz targets share: a disk made of the fuzzer's bytes laid over zeros, and files in a
// scratch folder of this process for the readers that take a path.

#include "platform/byte_source.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace tarn::fuzz {

// A disk of `size` bytes that reads as zeros except where pieces of the input were placed, so
// that a few kilobytes of input can stand for a volume of megabytes without their memory.
// Pieces are copied in; a later piece wins where two overlap.
class sparse_source_c final : public byte_source_c {
public:
    explicit sparse_source_c(std::uint64_t size) : size_(size) {}
    void place(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    std::int64_t read_at(std::uint64_t offset, std::span<std::byte> out) override;
    std::uint64_t size() const override { return size_; }

private:
    struct piece_s {
        std::uint64_t offset;
        std::vector<std::byte> bytes;
    };
    std::uint64_t size_;
    std::vector<piece_s> pieces_;
};

// A folder of this process's own, made on first use and removed when the process ends.
const QString& scratch_dir();
// Writes the bytes to name inside scratch_dir() and returns its path; empty on failure.
QString scratch_file(const QString& name, std::span<const std::uint8_t> bytes);

} // namespace tarn::fuzz
