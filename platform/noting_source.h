#pragma once
// A byte source over another that notes every read of it that failed. A read that comes back
// short before the source's end counts as failed and returns -1: the caller's buffer past the
// bytes read holds whatever an earlier read left there, which must not pass for the disk's.

#include "platform/byte_source.h"
#include "platform/read_failures.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace tarn {

class noting_source_c final : public byte_source_c {
public:
    explicit noting_source_c(std::unique_ptr<byte_source_c> inner) : inner_(std::move(inner)), size_(inner_->size()) {}
    std::int64_t read_at(std::uint64_t offset, std::span<std::byte> out) override;
    std::uint64_t size() const override { return size_; }
    // Nothing to note: bytes that cannot be mapped are read, and a failed read is noted then.
    mapped_bytes_c map_at(std::uint64_t offset, std::size_t length) override { return inner_->map_at(offset, length); }

    // The failures noted since the last call; reads may go on meanwhile (from any thread).
    read_failures_c take_failures();

private:
    std::unique_ptr<byte_source_c> inner_;
    const std::uint64_t size_; // a disk's size does not change while it is read; asked once
    std::mutex mutex_; // a deep scan reads ahead on a second thread
    read_failures_c failures_;
    std::atomic<bool> noted_{false}; // a read failed since the last take: until then sound reads skip the lock
};

} // namespace tarn
