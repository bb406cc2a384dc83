#pragma once
// An owning buffer aligned for uncached (direct) device I/O.

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <span>

namespace tarn {

inline constexpr std::size_t direct_io_alignment = 4096;

class aligned_buffer_c {
public:
    explicit aligned_buffer_c(std::size_t size)
        : size_(size), data_(static_cast<std::byte*>(std::aligned_alloc(direct_io_alignment, round_up(size))))
    {
    }
    bool valid() const { return data_ != nullptr; }
    std::byte* data() { return data_.get(); }
    std::size_t size() const { return size_; }
    std::span<std::byte> span() { return {data_.get(), data_ ? size_ : 0}; }

private:
    static std::size_t round_up(std::size_t n)
    {
        return n == 0 ? direct_io_alignment : (n + direct_io_alignment - 1) / direct_io_alignment * direct_io_alignment;
    }
    struct free_deleter {
        void operator()(std::byte* p) const { std::free(p); }
    };
    std::size_t size_;
    std::unique_ptr<std::byte, free_deleter> data_;
};

} // namespace tarn
