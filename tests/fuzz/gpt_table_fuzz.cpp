// The GPT reader and the repair's plan over hostile bytes. The input lies at the start of a disk
// of 4096 sectors (sector 0, the primary header and its entries) and again at its end (the
// backup entries and header); the disk's table is read and a repair planned from it with two
// finds. The input's first sector is also parsed as a header at LBA 1 of disks of every size
// its second sector's first eight bytes choose.

#include "partition/disk_table.h"
#include "partition/repair_plan.h"
#include "platform/byte_source.h"
#include "tests/fuzz/fuzz_support.h"

#include <vector>

using namespace tarn;

namespace {

constexpr std::uint64_t disk_sectors = 4096;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto input = std::as_bytes(std::span(data, size));
    if (size >= 2 * sector_bytes) {
        const std::uint64_t chosen = load_le64(input, sector_bytes);
        const std::span<const std::byte, sector_bytes> first(input.data(), sector_bytes);
        parse_gpt_header(first, 1, chosen);
        parse_gpt_header(first, 1, disk_sectors);
    }
    if (size > disk_sectors * sector_bytes / 2)
        return 0;
    fuzz::sparse_source_c disk(disk_sectors * sector_bytes);
    disk.place(0, {data, size});
    disk.place(disk.size() - (size + sector_bytes - 1) / sector_bytes * sector_bytes, {data, size});
    disk_table_s table;
    if (read_disk_table(disk, disk.size(), table) != 0)
        return 0;
    table_kind(table);
    static const std::vector<guid_s> guids(repair_fresh_guids, guid_from_text("01234567-89AB-4CDE-8F01-23456789ABCD"));
    const std::vector<partition_item_s> finds = {{"NTFS", type_ntfs, 2048, 2559, {}}, {"FAT32", type_fat32, 3000, 5000, {}}};
    if (const auto plan = plan_repair(table, finds, guids, 63, 255))
        written_sectors_text(*plan);
    return 0;
}
