#pragma once
// An open disk or volume: the owning handle behind every read and the one write the program
// makes (the partition table repair). Descriptions of disks and volumes are plain values
// elsewhere; this is the thing one operates on. A disk image in a container format (E01, VMDK,
// …) is read through the image layer; it and every image the user opened are never written.

#include "platform/byte_source.h"
#include "platform/device_location.h"
#include "platform/disk_geometry.h"

#include <QString>

#include <atomic>
#include <memory>

namespace tarn {

enum class access_e { read, read_write };

class device_c final : public byte_source_c {
public:
    // nullptr when the name cannot be resolved or opened, and for writing to an image the user
    // opened or one in a container format. Uncached asks for direct I/O and falls back to
    // buffered I/O where the file system refuses it; an image in a container has its own cache.
    static std::unique_ptr<device_c> open(const QString& name, access_e access, bool uncached = false);
    ~device_c() override;
    device_c(const device_c&) = delete;
    device_c& operator=(const device_c&) = delete;

    // Sequential access at a tracked position, as the program's readers expect.
    std::int64_t read(std::span<std::byte> out);
    std::int64_t write(std::span<const std::byte> in);
    int seek(std::uint64_t offset);
    std::uint64_t position() const { return position_; }

    std::int64_t read_at(std::uint64_t offset, std::span<std::byte> out) override;
    std::int64_t write_at(std::uint64_t offset, std::span<const std::byte> in);
    int flush();
    std::uint64_t size() const override { return length_; }
    // Mapped only from a plain file or disk read through the system's cache.
    mapped_bytes_c map_at(std::uint64_t offset, std::size_t length) override;

    // 0 on success, -1 when the medium gives no answer (absent, empty, shorter than a sector).
    int geometry(disk_geometry_s& out) const;
    int partition_info(partition_info_s& out) const;
    // Index of the disk that holds this device in the physical drive order; -1 when none.
    int disk_extents(std::int32_t& disk_number) const;
    bool check_verify() const;
    bool is_writable() const;
    bool uncached() const { return direct_; }
    const device_location_s& location() const { return location_; }

private:
    device_c(int fd, device_location_s location, std::uint64_t length, std::uint32_t sector_size, bool direct,
             bool writable);
    device_c(std::shared_ptr<byte_source_c> image, device_location_s location, std::uint64_t length);
    static std::uint64_t window_length(const device_location_s& location, std::uint64_t whole);
    std::int64_t read_direct(std::uint64_t offset, std::span<std::byte> out);
    std::int64_t pread_full(std::uint64_t at, std::span<std::byte> out);
    void drop_direct();

    int fd_;
    std::shared_ptr<byte_source_c> image_; // set for an image in a container format; fd_ is -1 then
    device_location_s location_;
    std::uint64_t length_;
    std::uint32_t sector_size_;
    std::atomic<bool> direct_; // reads may come from two threads (the deep scan reads ahead)
    bool writable_;
    std::uint64_t position_ = 0;
};

} // namespace tarn
