#include "tests/fat/fat_builder.h"

#include "platform/byte_source.h"
#include "scan/fat_name.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cstring>

namespace tarn::test {

fat_builder_c::fat_builder_c(std::uint32_t clusters, std::uint32_t sectors_per_cluster, std::uint32_t partition_start)
    : spc_(sectors_per_cluster), start_(partition_start), clusters_(clusters)
{
    bits_ = clusters < 4086 ? 12 : clusters <= 65525 ? 16 : 32;
    reserved_ = bits_ == 32 ? 32 : 1;
    root_entries_ = bits_ == 32 ? 0 : 512;
    const std::uint64_t fat_bytes = bits_ == 32 ? (clusters + 2ull) * 4
                                    : bits_ == 16 ? (clusters + 2ull) * 2
                                                  : ((clusters + 2ull) * 3 + 1) / 2;
    fat_size_ = static_cast<std::uint32_t>((fat_bytes + 511) / 512);
    data_start_ = reserved_ + 2 * fat_size_ + root_entries_ / 16;
    const std::uint32_t total = data_start_ + clusters * spc_;
    image_.assign((static_cast<std::size_t>(start_) + total) * 512, std::byte{0});
    std::span<std::byte> b(image_.data() + static_cast<std::size_t>(start_) * 512, 512);
    b[0] = std::byte{0xEB};
    b[1] = std::byte{0x3C};
    b[2] = std::byte{0x90};
    std::memcpy(b.data() + 3, "MSWIN4.1", 8);
    store_le16(b, 11, 512);
    b[13] = static_cast<std::byte>(spc_);
    store_le16(b, 14, static_cast<std::uint16_t>(reserved_));
    b[16] = std::byte{2};
    store_le16(b, 17, static_cast<std::uint16_t>(root_entries_));
    b[21] = std::byte{0xF8};
    store_le16(b, 24, 63);
    store_le16(b, 26, 255);
    store_le32(b, 28, start_);
    if (total < 0x10000)
        store_le16(b, 19, static_cast<std::uint16_t>(total));
    else
        store_le32(b, 32, total);
    if (bits_ == 32) {
        store_le32(b, 36, fat_size_);
        store_le32(b, 44, 2);
        std::memcpy(b.data() + 82, "FAT32   ", 8);
    } else {
        store_le16(b, 22, static_cast<std::uint16_t>(fat_size_));
        std::memcpy(b.data() + 54, bits_ == 16 ? "FAT16   " : "FAT12   ", 8);
    }
    store_le16(b, 510, 0xAA55);
    set_fat(0, 0x0FFFFFF8);
    set_fat(1, 0x0FFFFFFF);
    if (bits_ == 32)
        set_fat(2, 0x0FFFFFFF);
}

std::uint32_t fat_builder_c::cluster_offset(std::uint32_t cluster) const
{
    return (start_ + data_start_ + (cluster - 2) * spc_) * 512;
}

void fat_builder_c::set_fat(std::uint32_t cluster, std::uint32_t value)
{
    for (std::uint32_t copy = 0; copy < 2; ++copy) {
        std::span<std::byte> fat(image_.data() + (static_cast<std::size_t>(start_) + reserved_ + copy * fat_size_) * 512,
                                 static_cast<std::size_t>(fat_size_) * 512);
        if (bits_ == 32) {
            store_le32(fat, cluster * 4, value & 0x0FFFFFFF);
        } else if (bits_ == 16) {
            store_le16(fat, cluster * 2, static_cast<std::uint16_t>(value));
        } else {
            const std::size_t at = cluster + cluster / 2;
            std::uint16_t v = load_le16(fat, at);
            v = cluster & 1 ? static_cast<std::uint16_t>((v & 0x000F) | (value & 0xFFF) << 4)
                            : static_cast<std::uint16_t>((v & 0xF000) | (value & 0xFFF));
            store_le16(fat, at, v);
        }
    }
}

std::size_t fat_builder_c::entry_offset(std::uint32_t dir_cluster, std::uint32_t index) const
{
    if (dir_cluster == 0 && bits_ != 32)
        return (static_cast<std::size_t>(start_) + reserved_ + 2 * fat_size_) * 512 + index * 32;
    return cluster_offset(dir_cluster == 0 ? 2 : dir_cluster) + index * 32;
}

void fat_builder_c::put_raw(std::uint32_t dir_cluster, std::uint32_t index, const std::byte* bytes32)
{
    std::memcpy(image_.data() + entry_offset(dir_cluster, index), bytes32, 32);
}

void fat_builder_c::put_entry(std::uint32_t dir_cluster, std::uint32_t index, const fat_entry_s& e)
{
    std::array<std::byte, 32> b{};
    for (std::size_t i = 0; i < 11; ++i)
        b[i] = static_cast<std::byte>(static_cast<unsigned char>(e.name11[i]));
    b[11] = static_cast<std::byte>(e.attr);
    b[12] = static_cast<std::byte>(e.lcase);
    store_le16(b, 14, e.ctime);
    store_le16(b, 16, e.cdate);
    store_le16(b, 20, static_cast<std::uint16_t>(e.cluster >> 16));
    store_le16(b, 22, e.wtime);
    store_le16(b, 24, e.wdate);
    store_le16(b, 26, static_cast<std::uint16_t>(e.cluster & 0xFFFF));
    store_le32(b, 28, e.size);
    put_raw(dir_cluster, index, b.data());
}

void fat_builder_c::fill_cluster(std::uint32_t cluster, std::byte value)
{
    std::fill_n(image_.begin() + cluster_offset(cluster), cluster_bytes(), value);
}

void fat_builder_c::add_mbr()
{
    std::span<std::byte> mbr(image_.data(), 512);
    mbr[446 + 4] = std::byte{0x0C};
    store_le32(mbr, 446 + 8, start_);
    store_le32(mbr, 446 + 12, static_cast<std::uint32_t>(image_.size() / 512 - start_));
    store_le16(mbr, 510, 0xAA55);
}

int fat_builder_c::save(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    const auto n = static_cast<qint64>(image_.size());
    return file.write(reinterpret_cast<const char*>(image_.data()), n) == n ? 0 : -1;
}

std::uint8_t short_name_checksum(const char* name11)
{
    std::array<std::byte, 11> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::byte>(name11[i]);
    return sfn_checksum(bytes);
}

std::vector<std::byte> long_name_entry(std::u16string_view part, std::uint8_t order, std::uint8_t checksum)
{
    static constexpr std::size_t offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    std::vector<std::byte> b(32, std::byte{0});
    b[0] = static_cast<std::byte>(order);
    b[11] = std::byte{0x0F};
    b[13] = static_cast<std::byte>(checksum);
    for (std::size_t i = 0; i < 13; ++i) {
        const char16_t wc = i < part.size() ? part[i] : i == part.size() ? u'\0' : u'\xFFFF';
        store_le16(b, offsets[i], wc);
    }
    return b;
}

} // namespace tarn::test
