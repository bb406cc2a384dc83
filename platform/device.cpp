#include "platform/device.h"

#include "platform/aligned_buffer.h"
#include "platform/found_volume.h"
#include "platform/image_source.h"
#include "platform/opened_images.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

namespace {

struct file_facts_s {
    std::uint64_t size = 0;
    std::uint32_t sector_size = 512;
    bool block = false;
};

bool query_file(int fd, file_facts_s& facts)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    if (S_ISBLK(st.st_mode)) {
        std::uint64_t bytes = 0;
        int logical = 0;
        if (::ioctl(fd, BLKGETSIZE64, &bytes) != 0)
            return false;
        if (::ioctl(fd, BLKSSZGET, &logical) == 0 && logical > 0)
            facts.sector_size = static_cast<std::uint32_t>(logical);
        facts.size = bytes;
        facts.block = true;
        return true;
    }
    if (!S_ISREG(st.st_mode))
        return false;
    facts.size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool aligned(std::uint64_t value) { return value % direct_io_alignment == 0; }

} // namespace

std::unique_ptr<device_c> device_c::open(const QString& name, access_e access, bool uncached)
{
    auto location = locate_device(name);
    if (!location)
        return nullptr;
    const bool writable = access == access_e::read_write;
    // A partition only found by the search is read; writing there would write the disk itself.
    if (writable && is_found_volume_path(name))
        return nullptr;
    if (writable && is_opened_disk_image(location->file))
        return nullptr;
    QString error;
    if (auto image = open_container_image(location->file, error)) {
        if (writable)
            return nullptr;
        const std::uint64_t length = window_length(*location, image->size());
        return std::unique_ptr<device_c>(new device_c(std::move(image), std::move(*location), length));
    }
    if (!error.isEmpty())
        return nullptr;
    int flags = (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    const QByteArray file = QFile::encodeName(location->file);
    int fd = ::open(file.constData(), flags | (uncached ? O_DIRECT : 0));
    bool direct = uncached && fd >= 0;
    if (fd < 0 && uncached && errno == EINVAL) // the file system refuses direct I/O
        fd = ::open(file.constData(), flags);
    if (fd < 0)
        return nullptr;
    file_facts_s facts;
    if (!query_file(fd, facts)) {
        ::close(fd);
        return nullptr;
    }
    const std::uint64_t length = window_length(*location, facts.size);
    return std::unique_ptr<device_c>(
        new device_c(fd, std::move(*location), length, facts.sector_size, direct, writable));
}

std::uint64_t device_c::window_length(const device_location_s& location, std::uint64_t whole)
{
    if (location.offset >= whole)
        return 0;
    return std::min(whole - location.offset, location.length.value_or(whole));
}

device_c::device_c(int fd, device_location_s location, std::uint64_t length, std::uint32_t sector_size, bool direct,
                   bool writable)
    : fd_(fd), location_(std::move(location)), length_(length), sector_size_(sector_size), direct_(direct),
      writable_(writable)
{
}

device_c::device_c(std::shared_ptr<byte_source_c> image, device_location_s location, std::uint64_t length)
    : fd_(-1), image_(std::move(image)), location_(std::move(location)), length_(length), sector_size_(512),
      direct_(false), writable_(false)
{
}

device_c::~device_c()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::int64_t device_c::read(std::span<std::byte> out)
{
    const auto n = read_at(position_, out);
    if (n > 0)
        position_ += static_cast<std::uint64_t>(n);
    return n;
}

std::int64_t device_c::write(std::span<const std::byte> in)
{
    const auto n = write_at(position_, in);
    if (n > 0)
        position_ += static_cast<std::uint64_t>(n);
    return n;
}

int device_c::seek(std::uint64_t offset)
{
    if (offset > length_)
        return -1;
    position_ = offset;
    return 0;
}

std::int64_t device_c::pread_full(std::uint64_t at, std::span<std::byte> out)
{
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

void device_c::drop_direct()
{
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd_, F_SETFL, flags & ~O_DIRECT);
    direct_ = false;
}

std::int64_t device_c::read_direct(std::uint64_t offset, std::span<std::byte> out)
{
    const std::uint64_t at = location_.offset + offset;
    if (aligned(at) && aligned(out.size()) && aligned(reinterpret_cast<std::uintptr_t>(out.data())))
        return pread_full(at, out);
    // Direct I/O wants aligned offsets, lengths and buffers: go through an aligned copy.
    const std::uint64_t first = at / direct_io_alignment * direct_io_alignment;
    const std::uint64_t end = (at + out.size() + direct_io_alignment - 1) / direct_io_alignment * direct_io_alignment;
    aligned_buffer_c bounce(static_cast<std::size_t>(end - first));
    if (!bounce.valid())
        return -1;
    const auto got = pread_full(first, bounce.span());
    if (got < 0)
        return -1;
    const auto skip = static_cast<std::size_t>(at - first);
    const auto usable = static_cast<std::size_t>(got) > skip ? static_cast<std::size_t>(got) - skip : 0;
    const auto n = std::min(usable, out.size());
    std::memcpy(out.data(), bounce.data() + skip, n);
    return static_cast<std::int64_t>(n);
}

std::int64_t device_c::read_at(std::uint64_t offset, std::span<std::byte> out)
{
    if (offset >= length_)
        return 0;
    out = out.first(static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), length_ - offset)));
    if (image_)
        return image_->read_at(location_.offset + offset, out);
    if (direct_) {
        const auto n = read_direct(offset, out);
        if (n >= 0 || errno != EINVAL)
            return n;
        drop_direct(); // the file system refused direct I/O after all
    }
    return pread_full(location_.offset + offset, out);
}

mapped_bytes_c device_c::map_at(std::uint64_t offset, std::size_t length)
{
    if (image_ || direct_ || offset > length_ || length > length_ - offset)
        return {};
    return mapped_bytes_c::map(fd_, location_.offset + offset, length);
}

std::int64_t device_c::write_at(std::uint64_t offset, std::span<const std::byte> in)
{
    if (!writable_ || offset > length_ || in.size() > length_ - offset)
        return -1;
    const std::uint64_t at = location_.offset + offset;
    // Writes are rare (the partition table repair) and small: buffered, then flushed.
    if (direct_ && !(aligned(at) && aligned(in.size()) && aligned(reinterpret_cast<std::uintptr_t>(in.data()))))
        drop_direct();
    std::size_t done = 0;
    while (done < in.size()) {
        const ssize_t n = ::pwrite(fd_, in.data() + done, in.size() - done, static_cast<off_t>(at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

int device_c::flush() { return fd_ >= 0 && ::fdatasync(fd_) == 0 ? 0 : -1; }

int device_c::geometry(disk_geometry_s& out) const
{
    if (!check_verify())
        return -1;
    out = synthetic_geometry(length_, sector_size_, location_.removable);
    return 0;
}

int device_c::partition_info(partition_info_s& out) const
{
    out.partition_number = location_.partition_number;
    // A partition node's window starts at 0 of its own device, but callers ask where it lies on
    // its disk (the FAT sector layer reads the whole disk at that offset).
    out.starting_offset = location_.start_on_disk;
    out.length = length_;
    return 0;
}

int device_c::disk_extents(std::int32_t& disk_number) const
{
    if (location_.disk_number < 0)
        return -1;
    disk_number = location_.disk_number;
    return 0;
}

bool device_c::check_verify() const { return length_ >= sector_size_; }

bool device_c::is_writable() const
{
    struct stat st {};
    if (image_ || is_opened_disk_image(location_.file) || ::fstat(fd_, &st) != 0)
        return false;
    if (S_ISBLK(st.st_mode)) {
        int read_only = 1;
        return ::ioctl(fd_, BLKROGET, &read_only) == 0 && read_only == 0;
    }
    return ::access(QFile::encodeName(location_.file).constData(), W_OK) == 0;
}

} // namespace tarn
