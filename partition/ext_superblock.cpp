#include "partition/ext_superblock.h"

#include "platform/byte_source.h"

namespace tarn {

namespace {

constexpr int type_linux = 0x83;

QString ext_kind(std::span<const std::byte> b)
{
    const std::uint32_t compat = load_le32(b, 92);
    const std::uint32_t incompat = load_le32(b, 96);
    if ((incompat & (0x40 | 0x80 | 0x200)) != 0) // extents, 64-bit, flexible block groups
        return QStringLiteral("ext4");
    return (compat & 0x4) != 0 ? QStringLiteral("ext3") : QStringLiteral("ext2"); // a journal
}

QString ext_label(std::span<const std::byte> b)
{
    QByteArray name(reinterpret_cast<const char*>(b.data() + 120), 16);
    const qsizetype end = name.indexOf('\0');
    return QString::fromUtf8(end < 0 ? name : name.left(end));
}

} // namespace

std::optional<partition_item_s> ext_partition_at(std::span<const std::byte> b, std::uint64_t at)
{
    if (b.size() < sector_bytes || !may_be_ext_superblock(b.data()))
        return std::nullopt;
    const std::uint32_t log_block = load_le32(b, 24);
    if (log_block > 6) // blocks of 1 KiB to 64 KiB
        return std::nullopt;
    const std::uint64_t block_bytes = std::uint64_t{1024} << log_block;
    const std::uint64_t first_data_block = load_le32(b, 20);
    const std::uint64_t per_group = load_le32(b, 32);
    const std::uint16_t state = load_le16(b, 58); // the copies of a fresh file system keep 0
    std::uint64_t blocks = load_le32(b, 4);
    if ((load_le32(b, 96) & 0x80) != 0) // 64-bit block numbers
        blocks |= std::uint64_t{load_le32(b, 0x150)} << 32;
    if (blocks == 0 || per_group == 0 || per_group > 8 * block_bytes || load_le32(b, 40) == 0 || load_le32(b, 76) > 1
        || first_data_block != (block_bytes == 1024 ? 1u : 0u) || state > 7 || blocks > (UINT64_MAX >> 16))
        return std::nullopt;
    // Where this copy lies in the file system: 1 KiB in for the primary, else the first block of
    // its group (after the boot block when blocks are 1 KiB).
    const std::uint64_t group = load_le16(b, 90);
    const std::uint64_t offset = group == 0 ? 1024 : (group * per_group + first_data_block) * block_bytes;
    if (group != 0 && group * per_group >= blocks)
        return std::nullopt;
    if (offset % sector_bytes != 0 || offset / sector_bytes > at)
        return std::nullopt;
    partition_item_s item;
    item.fs_name = ext_kind(b);
    item.label = ext_label(b);
    item.type = type_linux;
    item.start_sector = at - offset / sector_bytes;
    const std::uint64_t length = blocks * block_bytes / sector_bytes;
    if (length - 1 > UINT64_MAX - item.start_sector)
        return std::nullopt;
    item.end_sector = item.start_sector + length - 1;
    return item;
}

} // namespace tarn
