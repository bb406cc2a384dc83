#include "platform/probe_staging.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace tarn {

namespace {

// Superblocks, partition tables and their backups lie within the first and the last megabyte.
constexpr std::uint64_t end_region = 1 << 20;
// Logical partitions are few; a chain longer than this loops or is hostile.
constexpr int ebr_hops = 256;
constexpr int mft_records = 16;

struct stager_s {
    byte_source_c& image;
    int fd;
    std::uint64_t limit; // end of the image

    bool copy(std::uint64_t at, std::uint64_t length)
    {
        length = at < limit ? std::min(length, limit - at) : 0;
        std::vector<std::byte> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(length, end_region)));
        while (length > 0) {
            const auto chunk = std::span(buffer).first(static_cast<std::size_t>(std::min<std::uint64_t>(length, buffer.size())));
            const std::int64_t got = image.read_at(at, chunk);
            if (got <= 0)
                return got == 0;
            if (::pwrite(fd, chunk.data(), static_cast<std::size_t>(got), static_cast<off_t>(at)) != got)
                return false;
            at += static_cast<std::uint64_t>(got);
            length -= static_cast<std::uint64_t>(got);
        }
        return true;
    }

    bool sector(std::uint64_t at, std::array<std::byte, 512>& out)
    {
        return image.read_at(at, out) == static_cast<std::int64_t>(out.size()) && load_le16(out, 510) == 0xAA55;
    }
};

bool extended_type(std::byte type)
{
    return type == std::byte{0x05} || type == std::byte{0x0F} || type == std::byte{0x85};
}

// Each extended boot record names the next one relative to the start of its container.
bool stage_ebr_chain(stager_s& s)
{
    std::array<std::byte, 512> mbr{};
    if (!s.sector(0, mbr))
        return true;
    for (int entry = 0; entry < 4; ++entry) {
        const std::size_t at = 446 + static_cast<std::size_t>(entry) * 16;
        if (!extended_type(mbr[at + 4]))
            continue;
        const std::uint64_t base = std::uint64_t{load_le32(mbr, at + 8)} * 512;
        std::uint64_t current = base;
        std::set<std::uint64_t> seen;
        for (int hop = 0; hop < ebr_hops && current < s.limit && seen.insert(current).second; ++hop) {
            std::array<std::byte, 512> ebr{};
            if (!s.copy(current, ebr.size()) || !s.sector(current, ebr) || !extended_type(ebr[446 + 16 + 4]))
                break;
            current = base + std::uint64_t{load_le32(ebr, 446 + 16 + 8)} * 512;
        }
    }
    return true;
}

// The NTFS probe reads the volume's label from record 3 of its file table.
bool stage_ntfs_records(stager_s& s, std::uint64_t offset)
{
    std::array<std::byte, 512> boot{};
    if (s.image.read_at(offset, boot) != static_cast<std::int64_t>(boot.size())
        || std::memcmp(boot.data() + 3, "NTFS    ", 8) != 0)
        return true;
    const std::uint64_t sector_bytes = load_le16(boot, 11);
    const auto per_cluster = std::to_integer<unsigned>(boot[13]);
    // A negative count is a power of two; one past any real cluster size is no volume to probe.
    if (per_cluster > 0x80 && 256 - per_cluster > 31)
        return true;
    const std::uint64_t cluster = per_cluster > 0x80 ? sector_bytes << (256 - per_cluster) : sector_bytes * per_cluster;
    const auto record_code = static_cast<std::int8_t>(std::to_integer<unsigned>(boot[0x40]));
    const std::uint64_t record = record_code > 0 ? cluster * static_cast<std::uint64_t>(record_code)
                                 : record_code > -32 ? std::uint64_t{1} << -record_code : 0;
    const std::uint64_t mft = load_le64(boot, 0x30);
    if (cluster == 0 || record == 0 || record > end_region || mft > (s.limit - offset) / cluster)
        return true;
    return s.copy(offset + mft * cluster, record * mft_records);
}

} // namespace

int stage_probe_file(byte_source_c& image, std::uint64_t offset, std::uint64_t size, stage_e what)
{
    const int fd = ::memfd_create("tarn-probe", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    stager_s s{image, fd, std::min(image.size(), offset + size)};
    const std::uint64_t head = std::min(size, end_region);
    const std::uint64_t tail_start = offset + size - std::min(size, end_region);
    const bool staged = ::ftruncate(fd, static_cast<off_t>(image.size())) == 0 && s.copy(offset, head)
                        && s.copy(tail_start, offset + size - tail_start)
                        && (what == stage_e::partition_table ? stage_ebr_chain(s) : stage_ntfs_records(s, offset));
    if (!staged) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace tarn
