#pragma once
// Hand-made FAT volumes for the cases real tools cannot make: exact cluster counts, entries
// placed by hand, FAT chains that lie.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tarn::test {

struct fat_entry_s {
    std::string_view name11; // the eleven bytes as stored ("BCD     TXT"), first byte may be 0xE5
    std::uint8_t attr = 0x20;
    std::uint32_t cluster = 0;
    std::uint32_t size = 0;
    std::uint16_t wdate = 0x5821; // 2024-01-01
    std::uint16_t wtime = 0x5000; // 10:00:00
    std::uint16_t cdate = 0x5821;
    std::uint16_t ctime = 0x5000;
    std::uint8_t lcase = 0;
};

class fat_builder_c {
public:
    // A volume with exactly the given number of clusters; the type follows from the count.
    fat_builder_c(std::uint32_t clusters, std::uint32_t sectors_per_cluster, std::uint32_t partition_start = 0);

    unsigned bits() const { return bits_; }
    std::uint32_t cluster_offset(std::uint32_t cluster) const;
    std::uint32_t cluster_bytes() const { return spc_ * 512; }
    void set_fat(std::uint32_t cluster, std::uint32_t value);
    // Entry `index` of the directory starting at `cluster` (0 = root), following no chain:
    // the index must lie in that first cluster (or the fixed root).
    void put_entry(std::uint32_t dir_cluster, std::uint32_t index, const fat_entry_s& entry);
    void put_raw(std::uint32_t dir_cluster, std::uint32_t index, const std::byte* bytes32);
    void fill_cluster(std::uint32_t cluster, std::byte value);
    std::vector<std::byte>& bytes() { return image_; }
    const std::vector<std::byte>& bytes() const { return image_; }
    // Writes a partition table with one entry of type 0x0C when the volume starts later.
    void add_mbr();
    int save(const QString& path) const;

private:
    std::size_t entry_offset(std::uint32_t dir_cluster, std::uint32_t index) const;
    unsigned bits_;
    std::uint32_t spc_, start_, reserved_, fat_size_, root_entries_, data_start_, clusters_;
    std::vector<std::byte> image_;
};

std::vector<std::byte> long_name_entry(std::u16string_view part13, std::uint8_t order, std::uint8_t checksum);
// The checksum that ties long-name entries to the short name name11 (as written before deletion).
std::uint8_t short_name_checksum(const char* name11);

} // namespace tarn::test
