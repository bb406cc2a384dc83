#include "scan/fat_entry_check.h"

#include "platform/byte_source.h"
#include "scan/fat_name.h"

#include <algorithm>
#include <string_view>

namespace tarn {

namespace {

using slot = std::span<const std::byte, 32>;

constexpr std::size_t slot_size = 32;
constexpr std::uint8_t long_name_attr = 0x0F;
constexpr std::uint8_t deleted_mark = 0xE5;

std::uint8_t u8(slot e, std::size_t at)
{
    return std::to_integer<std::uint8_t>(e[at]);
}

bool plausible_time(std::uint16_t t)
{
    return (t >> 11) < 24 && ((t >> 5) & 0x3F) < 60 && (t & 0x1F) < 30;
}

// Tools that keep no date leave the field zero; any other value is a real day.
bool plausible_date(std::uint16_t d)
{
    const unsigned month = (d >> 5) & 0x0F;
    return d == 0 || (month >= 1 && month <= 12 && (d & 0x1F) != 0);
}

bool same_name(slot e, std::string_view name11)
{
    for (std::size_t i = 0; i < 11; ++i)
        if (u8(e, i) != static_cast<std::uint8_t>(name11[i]))
            return false;
    return true;
}

// A part of a long name: order 1 to 20 (with the last-part bit) or the deletion mark, no cluster,
// and UTF-16 text without control characters, padded with 0xFFFF after its terminator.
bool long_name_slot(slot e)
{
    static constexpr std::size_t offsets[] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    const std::uint8_t order = u8(e, 0);
    if (order != deleted_mark && ((order & 0x80) != 0 || (order & 0x3F) == 0 || (order & 0x3F) > 20))
        return false;
    if (u8(e, 12) != 0 || load_le16(e, 26) != 0)
        return false;
    bool ended = false;
    for (std::size_t at : offsets) {
        const char16_t c = load_le16(e, at);
        if (ended ? c != 0xFFFF : c != 0 && c < 0x20)
            return false;
        ended = ended || c == 0;
    }
    return true;
}

bool short_name_slot(slot e, const fat_fs_s& fs)
{
    const std::uint8_t attr = u8(e, 11);
    const bool directory = (attr & fat_attr_directory) != 0;
    const bool dot = same_name(e, ".          ") || same_name(e, "..         ");
    if ((attr & 0xC0) != 0 || (dot && !directory))
        return false;
    if (!dot) {
        if (u8(e, 0) != deleted_mark && !fat_short_name_byte(u8(e, 0)))
            return false;
        for (std::size_t i = 1; i < 11; ++i)
            if (u8(e, i) != ' ' && !fat_short_name_byte(u8(e, i)))
                return false;
    }
    // Only the two lower-case flags live in byte 12; byte 13 counts hundredths up to 199.
    if ((u8(e, 12) & ~0x18) != 0 || u8(e, 13) > 199)
        return false;
    if (!plausible_time(load_le16(e, 14)) || !plausible_date(load_le16(e, 16)) || !plausible_date(load_le16(e, 18))
        || !plausible_time(load_le16(e, 22)) || !plausible_date(load_le16(e, 24)))
        return false;
    const std::uint32_t high = load_le16(e, 20);
    if (fs.fs_type != fat_32 && high != 0)
        return false;
    const std::uint32_t cluster = load_le16(e, 26) | high << 16;
    return cluster != 1 && cluster < fs.max_cluster && !(directory && load_le32(e, 28) != 0);
}

std::uint32_t slot_cluster(slot e, const fat_fs_s& fs)
{
    const std::uint32_t high = fs.fs_type == fat_32 ? load_le16(e, 20) : 0;
    return load_le16(e, 26) | high << 16;
}

// The entry's size is checked nowhere else here: a huge one only moves the search's end, which
// the volume bounds.
std::uint32_t data_end(slot e, std::uint32_t cluster, const fat_fs_s& fs)
{
    if (cluster < 2)
        return 0;
    const std::uint64_t cluster_bytes = std::max<std::uint64_t>(1, std::uint64_t{fs.sectors_per_cluster}) * fat_sector_size;
    const std::uint64_t end = cluster + std::max<std::uint64_t>(1, (load_le32(e, 28) + cluster_bytes - 1) / cluster_bytes);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(end, fs.max_cluster));
}

} // namespace

bool lists_folder(std::span<const std::byte, fat_sector_size> sector, const fat_fs_s& fs, std::uint32_t cluster)
{
    for (std::size_t at = 0; at < fat_sector_size; at += slot_size) {
        const slot e(sector.data() + at, slot_size);
        if (u8(e, 0) == 0)
            return false;
        if (u8(e, 11) != long_name_attr && (u8(e, 11) & fat_attr_directory) && u8(e, 0) != '.'
            && slot_cluster(e, fs) == cluster)
            return true;
    }
    return false;
}

fat_slots_s check_fat_slots(std::span<const std::byte, fat_sector_size> sector, const fat_fs_s& fs, bool after_end)
{
    fat_slots_s result;
    std::size_t at = 0;
    if (!after_end)
        for (; at < fat_sector_size && u8(slot(sector.data() + at, slot_size), 0) != 0; at += slot_size) {
            const slot e(sector.data() + at, slot_size);
            const bool long_name = u8(e, 11) == long_name_attr;
            if (!(long_name ? long_name_slot(e) : short_name_slot(e, fs)))
                return result;
            if (!long_name && u8(e, 0) != '.') {
                const std::uint32_t cluster = slot_cluster(e, fs);
                if (result.first_data == 0)
                    result.first_data = cluster;
                if (result.first_folder == 0 && (u8(e, 11) & fat_attr_directory))
                    result.first_folder = cluster;
                result.reach = std::max(result.reach, data_end(e, cluster, fs));
            }
            ++result.used;
        }
    result.ended = at < fat_sector_size;
    result.entries = std::all_of(sector.begin() + static_cast<std::ptrdiff_t>(at), sector.end(),
                                 [](std::byte b) { return b == std::byte{0}; });
    const slot first(sector.data(), slot_size);
    const slot second(sector.data() + slot_size, slot_size);
    result.folder_start = result.entries && result.used >= 2 && same_name(first, ".          ")
                          && same_name(second, "..         ");
    if (result.folder_start) {
        result.self = slot_cluster(first, fs);
        result.parent = slot_cluster(second, fs);
    }
    return result;
}

} // namespace tarn
