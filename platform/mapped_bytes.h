#pragma once
// A range of a file or disk seen through the system's cache instead of copied out of it: the deep
// scan reads the whole volume once, and the copy was a quarter of its work. The range is brought
// in when mapped, so that a read failing there is an answer (no map) rather than a signal. A page
// the system drops and then cannot read again (a disk failing meanwhile, an image cut short under
// the scan) reads as zeros and marks the map damaged instead of ending the program.

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarn {

class mapped_bytes_c {
public:
    mapped_bytes_c() = default;
    // The length bytes at offset of the open file fd, all brought in; an empty map when the system
    // cannot map them, cannot bring them in first, or any of them could not be read.
    static mapped_bytes_c map(int fd, std::uint64_t offset, std::size_t length);
    ~mapped_bytes_c();
    mapped_bytes_c(mapped_bytes_c&& other) noexcept;
    mapped_bytes_c& operator=(mapped_bytes_c&& other) noexcept;

    std::span<const std::byte> bytes() const;
    bool empty() const { return base_ == nullptr; }
    // Whether a page of it could not be read again after it was brought in: it reads as zeros.
    bool damaged() const;

private:
    void release();

    void* base_ = nullptr;
    std::size_t mapped_ = 0; // whole pages
    std::size_t skip_ = 0;   // from the page start to the offset asked for
    std::size_t length_ = 0;
    int slot_ = -1; // where the bus-error handler finds it
};

} // namespace tarn
