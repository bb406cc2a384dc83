#include "scan/fat_volume.h"

#include "platform/byte_source.h"
#include "scan/disk_sector_layer.h"
#include "scan/fat_name.h"

#include <algorithm>
#include <cstring>

namespace tarn {

namespace {

using namespace fat_detail;

constexpr std::uint8_t lfn_attr = 0x0F;
constexpr std::uint8_t lfn_last = 0x40;
constexpr std::uint8_t deleted_mark = 0xE5;
constexpr std::size_t lfn_chars = 13;
constexpr std::size_t lfn_max_entries = 20; // 255 characters
constexpr std::array<std::size_t, lfn_chars> lfn_offsets{1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

std::span<const std::byte, 32> current_entry(const fat_dir_s& dir)
{
    return std::span<const std::byte, 32>(dir.fs->win.data() + dir.entry, 32);
}

std::uint8_t u8(std::span<const std::byte, 32> e, std::size_t at)
{
    return std::to_integer<std::uint8_t>(e[at]);
}

// Puts the 13 characters of one long-name entry at their place for order number ord (1-based).
// False when the part does not fit or its padding is broken.
bool pick_lfn(char16_t* lfn, std::span<const std::byte, 32> e, unsigned ord, bool last)
{
    std::size_t i = (ord - 1) * lfn_chars;
    char16_t prev = 1;
    for (std::size_t off : lfn_offsets) {
        const char16_t wc = load_le16(e, off);
        if (prev != 0) {
            if (i >= fat_lfn_capacity - 1)
                return false;
            lfn[i++] = wc;
            prev = wc;
        } else if (wc != 0xFFFF) {
            return false;
        }
    }
    if (last && prev != 0) {
        if (i >= fat_lfn_capacity)
            return false;
        lfn[i] = 0;
    }
    return true;
}

// Long-name state of one directory read. Live names are checked by order number and checksum;
// the entries of a deleted name have lost their order byte to the deletion mark, so they are
// taken as a run of deleted long-name entries with one checksum directly before the deleted
// short entry, the nearest being part 1.
struct lfn_state_s {
    unsigned ord = 0xFF;
    std::uint8_t sum = 0;
    std::array<std::array<char16_t, lfn_chars>, lfn_max_entries> deleted_parts{};
    std::size_t deleted_count = 0;
    std::uint8_t deleted_sum = 0;

    void live_part(const fat_dir_s& dir, std::span<const std::byte, 32> e, char16_t* lfn, std::uint16_t& lfn_idx)
    {
        deleted_count = 0;
        unsigned c = u8(e, 0);
        if (c & lfn_last) {
            sum = u8(e, 13);
            c &= 0xBF;
            ord = c;
            lfn_idx = dir.index;
        }
        const bool in_order = c == ord && c >= 1 && c <= lfn_max_entries && sum == u8(e, 13);
        ord = in_order && pick_lfn(lfn, e, c, (u8(e, 0) & lfn_last) != 0) ? ord - 1 : 0xFF;
    }

    void deleted_part(std::span<const std::byte, 32> e)
    {
        ord = 0xFF;
        if (deleted_count == 0 || deleted_sum != u8(e, 13) || deleted_count == lfn_max_entries) {
            deleted_count = 0;
            deleted_sum = u8(e, 13);
        }
        auto& part = deleted_parts[deleted_count++];
        for (std::size_t k = 0; k < lfn_chars; ++k)
            part[k] = load_le16(e, lfn_offsets[k]);
    }

    // Builds the deleted name into lfn; false when the run does not form a name. terminated
    // tells whether the name's last part ends in a terminator followed by padding, the mark that
    // the run still holds its first-written entry.
    bool deleted_name(char16_t* lfn, bool& terminated) const
    {
        std::size_t n = 0;
        terminated = false;
        for (std::size_t p = deleted_count; p-- > 0;) {
            const auto& part = deleted_parts[p];
            for (std::size_t k = 0; k < lfn_chars; ++k) {
                if (part[k] == 0) {
                    lfn[n] = 0;
                    terminated = std::all_of(part.begin() + k + 1, part.end(), [](char16_t c) { return c == 0xFFFF; });
                    return n != 0 && p == 0 && terminated;
                }
                if (n + 1 >= fat_lfn_capacity)
                    return false;
                lfn[n++] = part[k];
            }
        }
        lfn[n] = 0;
        return n != 0;
    }

    bool deleted_name_fits(std::span<const std::byte, 32> e, char16_t* lfn) const
    {
        bool terminated = false;
        return deleted_count != 0 && deleted_name(lfn, terminated)
               && deleted_long_name_fits(e, deleted_sum, std::u16string_view(lfn), terminated);
    }

    void skip()
    {
        ord = 0xFF;
        deleted_count = 0;
    }
};

} // namespace

namespace fat_detail {

int dir_read(fat_dir_s& dir, char16_t* lfn)
{
    lfn_state_s state;
    int result = fr_no_file;
    dir.lfn_idx = 0xFFFF;
    while (dir.sect != 0) {
        result = move_window(*dir.fs, dir.sect);
        if (result != fr_ok)
            break;
        const auto e = current_entry(dir);
        const std::uint8_t c = u8(e, 0);
        if (c == 0) {
            dir.end = dir_end_mark;
            result = fr_no_file;
            break;
        }
        const bool deleted = c == deleted_mark;
        const std::uint8_t attr = u8(e, 11);
        if ((attr & 0x7F) == lfn_attr) {
            if (deleted)
                state.deleted_part(e);
            else
                state.live_part(dir, e, lfn, dir.lfn_idx);
            const bool starts_run = deleted ? state.deleted_count == 1 : (c & lfn_last) != 0;
            if (starts_run || dir.lfn_start == 0xFFFF)
                dir.lfn_start = dir.index;
        } else if ((!deleted && c == '.') || (attr & fat_attr_volume)) {
            state.skip();
            dir.lfn_start = 0xFFFF;
        } else {
            dir.lfn_start = 0xFFFF;
            dir.deleted = deleted ? 1 : 0;
            const bool valid = deleted ? state.deleted_name_fits(e, lfn)
                                       : state.ord == 0 && state.sum == sfn_checksum(e.first<11>());
            if (!valid)
                dir.lfn_idx = 0xFFFF;
            else if (deleted)
                dir.lfn_idx = static_cast<std::uint16_t>(dir.index - state.deleted_count);
            result = fr_ok;
            break;
        }
        result = dir_next(dir);
        if (result != fr_ok)
            break;
    }
    if (result != fr_ok)
        dir.sect = 0;
    return result;
}

void get_fileinfo(const fat_dir_s& dir, const char16_t* lfn, fat_info_s& info)
{
    const auto e = current_entry(dir);
    info.size = load_le32(e, 28);
    info.sclust = load_le16(e, 26);
    if (dir.fs->fs_type == fat_32)
        info.sclust |= static_cast<std::uint32_t>(load_le16(e, 20)) << 16;
    info.wdate = load_le16(e, 24);
    info.wtime = load_le16(e, 22);
    info.cdate = load_le16(e, 16);
    info.ctime = load_le16(e, 14);
    info.adate = load_le16(e, 18);
    info.attr = static_cast<std::uint8_t>(u8(e, 11) | (dir.deleted ? fat_attr_deleted : 0));
    info.fname = short_name(e, dir.deleted != 0);
    if (info.lfname && info.lfsize != 0) {
        std::size_t n = 0;
        if (dir.lfn_idx != 0xFFFF)
            while (lfn[n] != 0 && n + 1 < info.lfsize) {
                info.lfname[n] = lfn[n];
                ++n;
            }
        info.lfname[n] = 0;
    }
}

} // namespace fat_detail

namespace {

// Case-insensitive comparison of a path component with a name (ASCII letters only).
bool same_name(const char16_t* a, std::size_t a_len, const char16_t* b)
{
    const auto fold = [](char16_t ch) { return ch >= u'a' && ch <= u'z' ? static_cast<char16_t>(ch - 32) : ch; };
    for (std::size_t i = 0; i < a_len; ++i)
        if (b[i] == 0 || fold(a[i]) != fold(b[i]))
            return false;
    return b[a_len] == 0;
}

// Follows the components of path from the root through live directories.
int follow_path(fat_dir_s& dir, const char16_t* path, char16_t* lfn)
{
    while (*path == u'/' || *path == u'\\')
        ++path;
    dir.sclust = 0;
    int result = dir_rewind(dir);
    while (result == fr_ok && *path != 0) {
        std::size_t len = 0;
        while (path[len] != 0 && path[len] != u'/' && path[len] != u'\\')
            ++len;
        fat_info_s info;
        info.lfname = lfn;
        info.lfsize = fat_lfn_capacity;
        for (;;) {
            result = dir_read(dir, lfn);
            if (result != fr_ok)
                return result == fr_no_file ? fr_no_path : result;
            get_fileinfo(dir, lfn, info);
            if (!dir.deleted && (same_name(path, len, info.fname.data()) || same_name(path, len, lfn)))
                break;
            if ((result = dir_next(dir)) != fr_ok)
                return result == fr_no_file ? fr_no_path : result;
        }
        if (!(info.attr & fat_attr_directory))
            return fr_no_path;
        dir.sclust = info.sclust;
        result = dir_rewind(dir);
        path += len;
        while (*path == u'/' || *path == u'\\')
            ++path;
    }
    return result;
}

} // namespace

int f_opendir(fat_dir_s& dir, const char16_t* path)
{
    fat_fs_s* fs = nullptr;
    int result = mount_volume(path, fs);
    if (result != fr_ok)
        return result;
    dir.fs = fs;
    dir.id = fs->id;
    dir.pending = fr_ok;
    std::array<char16_t, fat_lfn_capacity> lfn{};
    result = follow_path(dir, path, lfn.data());
    return result;
}

int f_dir_resume(fat_dir_s& dir, std::uint32_t cluster, std::uint16_t entry, std::uint32_t then)
{
    dir.sclust = cluster;
    if (const int result = f_readdir(dir, nullptr); result != fr_ok)
        return result;
    const std::uint32_t per_cluster = fat_sector_size / 32 * dir.fs->sectors_per_cluster;
    if (entry >= per_cluster)
        return fr_int_err;
    while (dir.index < entry)
        if (const int result = dir_next(dir); result != fr_ok)
            return result;
    dir.jump = then;
    return fr_ok;
}

int f_readdir(fat_dir_s& dir, fat_info_s* info)
{
    if (!dir.fs || dir.fs->fs_type == fat_none || dir.id != dir.fs->id)
        return fr_invalid_object;
    if (disk_status(dir.fs->drive) & disk_status_not_ready)
        return fr_not_ready;
    if (!info) {
        dir.pending = fr_ok;
        return dir_rewind(dir);
    }
    if (dir.pending != fr_ok) {
        const int pending = dir.pending;
        dir.pending = fr_ok;
        return pending;
    }
    std::array<char16_t, fat_lfn_capacity> lfn{};
    int result = dir_read(dir, lfn.data());
    if (result == fr_no_file) {
        info->fname[0] = 0;
        if (info->lfname && info->lfsize != 0)
            info->lfname[0] = 0;
        return fr_ok;
    }
    if (result != fr_ok)
        return result;
    get_fileinfo(dir, lfn.data(), *info);
    // A chain that breaks after this entry is reported by the next call, so that the entry
    // itself is not lost (the last entry of a deleted directory's first cluster).
    result = dir_next(dir);
    if (result != fr_ok) {
        dir.sect = 0;
        dir.pending = static_cast<std::uint8_t>(result == fr_no_file ? fr_ok : result);
    }
    return fr_ok;
}

} // namespace tarn
