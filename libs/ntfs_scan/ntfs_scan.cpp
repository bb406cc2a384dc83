#include "libs/ntfs_scan/ntfs_scan.h"

#include "libs/ntfs_scan/ntfs_record_fill.h"
#include "libs/ntfs_scan/ntfs_scan_source.h"
#include "libs/ntfs_scan/tsk_byte_image.h"
#include "platform/byte_source.h"
#include "platform/device.h"
#include "platform/volume_facts.h"
#include "platform/volume_registry.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

namespace tarn {

namespace {

constexpr std::uint32_t open_mark = 0x5346544E; // "NTFS"
constexpr std::size_t state_at = 16;
constexpr std::size_t copy_step = 1 << 20;

struct fs_closer {
    void operator()(TSK_FS_INFO* fs) const { tsk_fs_close(fs); }
};
struct file_closer {
    void operator()(TSK_FS_FILE* file) const { tsk_fs_file_close(file); }
};

// What the library keeps between calls; the context block points at it.
struct scan_state_s {
    tsk_image_ptr image;
    std::unique_ptr<TSK_FS_INFO, fs_closer> fs;
    TSK_INUM_T next = 0;
    TSK_INUM_T last = 0; // the last entry the scan visits
    std::uint32_t examined = 0;
};

// The entries a scan visits end where the file table would outgrow the volume (NTFS writes no
// record smaller than 1 KiB). A damaged $MFT size can name hundreds of millions of entries on a
// small volume, and one call walked them all, unstoppable, past records that cannot exist; on a
// sound volume the records and the library's few virtual entries after them lie far inside.
TSK_INUM_T last_entry(const TSK_FS_INFO& fs)
{
    constexpr TSK_INUM_T smallest_record = 1024, virtual_entries = 16;
    const auto volume = static_cast<TSK_INUM_T>(std::max<TSK_OFF_T>(fs.img_info->size, 0));
    return std::min(fs.last_inum, volume / smallest_record + virtual_entries);
}

std::byte* bytes_of(void* block) { return static_cast<std::byte*>(block); }

scan_state_s* state_of(void* context)
{
    if (context == nullptr)
        return nullptr;
    std::uint32_t mark = 0;
    std::memcpy(&mark, context, sizeof mark);
    if (mark != open_mark)
        return nullptr;
    scan_state_s* state = nullptr;
    std::memcpy(&state, bytes_of(context) + state_at, sizeof state);
    return state;
}

void put_u32(void* block, std::size_t at, std::uint32_t value)
{
    std::memcpy(bytes_of(block) + at, &value, sizeof value);
}

// "/dev/hdXN": disk X - 'a', partition N; the volume the last enumeration found there.
QString volume_for_device_name(const char* name)
{
    const QString text = QString::fromLocal8Bit(name);
    if (!text.startsWith(QLatin1String("/dev/hd")) || text.size() < 9)
        return {};
    const int disk = text.at(7).unicode() - u'a';
    bool ok = false;
    const int partition = text.mid(8).toInt(&ok);
    if (!ok || disk < 0 || disk > 25 || partition < 0)
        return {};
    QString path = registered_volume_path(disk, partition);
    if (path.isEmpty()) {
        enumerate_volume_facts(); // the table may predate this volume
        path = registered_volume_path(disk, partition);
    }
    if (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    return path;
}

// A plain non-resident stream (not compressed, not encrypted, every run known) is read run by run
// in large requests straight from the image: the attribute reader goes cluster by cluster, which
// costs more than the disk. Bytes past the initialised size and sparse runs are zeros.
bool plain_runs(const TSK_FS_ATTR* data)
{
    if (!(data->flags & TSK_FS_ATTR_NONRES) || (data->flags & (TSK_FS_ATTR_COMP | TSK_FS_ATTR_ENC)) || data->nrd.skiplen != 0)
        return false;
    for (const TSK_FS_ATTR_RUN* run = data->nrd.run; run != nullptr; run = run->next)
        if (run->flags & (TSK_FS_ATTR_RUN_FLAG_FILLER | TSK_FS_ATTR_RUN_FLAG_ENCRYPTED))
            return false;
    return true;
}

// How much of a stream is written: no more than the volume holds. A run list that claims more
// (sparse runs past any sense, the same clusters listed again and again) is damage, and writing it
// out whole would fill the target disk with what is not there; the file is then cut and marked.
TSK_OFF_T bytes_to_write(const TSK_FS_FILE* file, const TSK_FS_ATTR* data)
{
    const TSK_OFF_T volume = static_cast<TSK_OFF_T>(file->fs_info->block_count) * file->fs_info->block_size;
    return volume > 0 ? std::min(data->size, volume) : data->size;
}

int copy_runs(TSK_FS_FILE* file, const TSK_FS_ATTR* data, QFile& out, std::uint32_t* detail)
{
    const TSK_OFF_T block = file->fs_info->block_size;
    if (block <= 0)
        return NTFS_SCAN_SHORT;
    // Run addresses come from the disk: one whose byte offset would not fit is damage.
    const auto largest_block = static_cast<TSK_DADDR_T>(std::numeric_limits<TSK_OFF_T>::max() / block / 4);
    std::vector<char> buffer(copy_step);
    TSK_OFF_T done = 0;
    const TSK_OFF_T wanted = bytes_to_write(file, data);
    for (const TSK_FS_ATTR_RUN* run = data->nrd.run; run != nullptr && done < wanted; run = run->next) {
        if (run->addr > largest_block || run->len > largest_block || run->offset > largest_block)
            return NTFS_SCAN_SHORT;
        if (static_cast<TSK_OFF_T>(run->offset) * block != done)
            return NTFS_SCAN_SHORT; // runs out of order: let nothing pretend to be whole
        const TSK_OFF_T run_end = std::min<TSK_OFF_T>(done + static_cast<TSK_OFF_T>(run->len) * block, wanted);
        while (done < run_end) {
            const auto want = static_cast<size_t>(std::min<TSK_OFF_T>(copy_step, run_end - done));
            const TSK_OFF_T readable = std::clamp<TSK_OFF_T>(data->nrd.initsize - done, 0, static_cast<TSK_OFF_T>(want));
            std::fill(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(want), '\0');
            if (!(run->flags & TSK_FS_ATTR_RUN_FLAG_SPARSE) && readable > 0) {
                const TSK_OFF_T at = static_cast<TSK_OFF_T>(run->addr) * block + (done - static_cast<TSK_OFF_T>(run->offset) * block);
                byte_source_c& source = tsk_image_source(file->fs_info->img_info);
                const std::span<std::byte> part(reinterpret_cast<std::byte*>(buffer.data()), static_cast<size_t>(readable));
                if (source.read_at(static_cast<std::uint64_t>(file->fs_info->offset + at), part) != readable)
                    return NTFS_SCAN_SHORT;
            }
            if (out.write(buffer.data(), static_cast<qint64>(want)) != static_cast<qint64>(want))
                return NTFS_SCAN_SHORT;
            done += static_cast<TSK_OFF_T>(want);
            if (detail != nullptr)
                *detail = static_cast<std::uint32_t>(std::min<TSK_OFF_T>(done, UINT32_MAX));
        }
    }
    return done == data->size ? 0 : NTFS_SCAN_SHORT;
}

int copy_data(TSK_FS_FILE* file, QFile& out, std::uint32_t* detail)
{
    const TSK_FS_ATTR* data = tsk_fs_file_attr_get(file);
    if (data == nullptr)
        return file->meta != nullptr && file->meta->size == 0 ? 0 : NTFS_SCAN_NO_RECORD;
    if (plain_runs(data))
        return copy_runs(file, data, out, detail);
    std::vector<char> buffer(copy_step);
    TSK_OFF_T done = 0;
    const TSK_OFF_T wanted = bytes_to_write(file, data);
    while (done < wanted) {
        const auto want = static_cast<size_t>(std::min<TSK_OFF_T>(copy_step, wanted - done));
        const ssize_t got = tsk_fs_attr_read(data, done, buffer.data(), want, TSK_FS_FILE_READ_FLAG_NONE);
        if (got <= 0 || out.write(buffer.data(), got) != got)
            break;
        done += got;
        if (detail != nullptr)
            *detail = static_cast<std::uint32_t>(std::min<TSK_OFF_T>(done, UINT32_MAX));
    }
    return done == data->size ? 0 : NTFS_SCAN_SHORT;
}

// Whether the volume's boot sector is an NTFS one whose clusters are larger than 64 KiB:
// Windows writes clusters of up to 2 MiB (a sectors-per-cluster byte over 0x80 is a negative
// power of two), which the reader refuses like a damaged boot sector. Such a volume is sound and
// is said to be, not taken for a damaged one.
bool large_clusters(byte_source_c& source)
{
    std::array<std::byte, 512> boot{};
    if (source.read_at(0, boot) != static_cast<std::int64_t>(boot.size())
        || std::memcmp(boot.data() + 3, "NTFS    ", 8) != 0)
        return false;
    const std::uint32_t sector = load_le16(boot, 11);
    const auto per_cluster = std::to_integer<unsigned>(boot[13]);
    if ((sector != 512 && sector != 1024 && sector != 2048 && sector != 4096) || per_cluster <= 0x80
        || 256 - per_cluster > 12)
        return false;
    return (static_cast<std::uint64_t>(sector) << (256 - per_cluster)) > (64u << 10);
}

} // namespace

int ntfs_scan_startup_source(std::unique_ptr<byte_source_c> source, void* context)
{
    if (context == nullptr)
        return NTFS_SCAN_BAD_ARGUMENT;
    const bool too_large = source && large_clusters(*source);
    tsk_image_ptr image = open_tsk_image(std::move(source));
    if (!image)
        return NTFS_SCAN_NO_DEVICE;
    std::unique_ptr<TSK_FS_INFO, fs_closer> fs(tsk_fs_open_img(image.get(), 0, TSK_FS_TYPE_NTFS));
    if (!fs)
        return too_large ? NTFS_SCAN_LARGE_CLUSTERS : NTFS_SCAN_NOT_NTFS;
    auto* state = new scan_state_s{std::move(image), std::move(fs)};
    state->last = last_entry(*state->fs);
    std::memset(context, 0, NTFS_SCAN_CONTEXT_BYTES);
    put_u32(context, 0, open_mark);
    const std::uint64_t total = state->last + 1;
    std::memcpy(bytes_of(context) + NTFS_SCAN_CONTEXT_TOTAL, &total, sizeof total);
    std::memcpy(bytes_of(context) + state_at, &state, sizeof state);
    return 0;
}

read_failures_c ntfs_scan_take_failures(void* context)
{
    scan_state_s* state = state_of(context);
    return state != nullptr ? tsk_image_take_failures(state->image.get()) : read_failures_c{};
}

int ntfs_scan_layout(void* context, ntfs_layout_s& out)
{
    scan_state_s* state = state_of(context);
    return state != nullptr ? read_ntfs_layout(state->fs.get(), out) : NTFS_SCAN_NOT_OPEN;
}

byte_source_c* ntfs_scan_volume(void* context)
{
    scan_state_s* state = state_of(context);
    return state != nullptr ? &tsk_image_source(state->image.get()) : nullptr;
}

int ntfs_count_free(std::unique_ptr<byte_source_c> source, std::uint64_t& free_bytes)
{
    constexpr TSK_INUM_T bitmap_record = 6;
    tsk_image_ptr image = open_tsk_image(std::move(source));
    if (!image)
        return NTFS_SCAN_NO_DEVICE;
    std::unique_ptr<TSK_FS_INFO, fs_closer> fs(tsk_fs_open_img(image.get(), 0, TSK_FS_TYPE_NTFS));
    std::unique_ptr<TSK_FS_FILE, file_closer> file(fs ? tsk_fs_file_open_meta(fs.get(), nullptr, bitmap_record) : nullptr);
    const TSK_FS_ATTR* bits = file ? tsk_fs_file_attr_get(file.get()) : nullptr;
    tsk_error_reset();
    if (!fs || bits == nullptr)
        return NTFS_SCAN_NOT_NTFS;
    // One bit per cluster; bits past the last cluster pad the last byte and are not counted.
    std::vector<char> buffer(copy_step);
    std::uint64_t free_clusters = 0;
    TSK_OFF_T done = 0;
    const auto clusters = static_cast<std::uint64_t>(fs->block_count);
    while (done < bits->size && static_cast<std::uint64_t>(done) * 8 < clusters) {
        const auto want = static_cast<size_t>(std::min<TSK_OFF_T>(copy_step, bits->size - done));
        const ssize_t got = tsk_fs_attr_read(bits, done, buffer.data(), want, TSK_FS_FILE_READ_FLAG_NONE);
        if (got <= 0)
            return NTFS_SCAN_SHORT;
        for (ssize_t i = 0; i < got; ++i)
            for (unsigned bit = 0; bit < 8; ++bit)
                if ((static_cast<std::uint64_t>(done + i) * 8 + bit) < clusters && !((buffer[static_cast<size_t>(i)] >> bit) & 1))
                    ++free_clusters;
        done += got;
    }
    free_bytes = free_clusters * fs->block_size;
    return 0;
}

} // namespace tarn

using namespace tarn;

extern "C" int32_t ntfs_scan_startup(const char* device_name, void* context)
{
    if (device_name == nullptr || context == nullptr)
        return NTFS_SCAN_BAD_ARGUMENT;
    const QString volume = volume_for_device_name(device_name);
    std::unique_ptr<byte_source_c> device = volume.isEmpty() ? nullptr : device_c::open(volume, access_e::read);
    if (!device)
        return NTFS_SCAN_NO_DEVICE;
    return ntfs_scan_startup_source(std::move(device), context);
}

extern "C" int32_t ntfs_scan_next(void* context, void* record)
{
    scan_state_s* state = state_of(context);
    if (state == nullptr || record == nullptr)
        return 0;
    // Entries that never held a file (no record signature) are skipped; every other one, in use
    // or freed, is delivered.
    while (state->next <= state->last) {
        const TSK_INUM_T inum = state->next++;
        put_u32(context, NTFS_SCAN_CONTEXT_C3, ++state->examined);
        std::unique_ptr<TSK_FS_FILE, file_closer> file(tsk_fs_file_open_meta(state->fs.get(), nullptr, inum));
        if (!file || file->meta == nullptr) {
            tsk_error_reset();
            continue;
        }
        if (fill_ntfs_record(*file->meta, static_cast<std::byte*>(record)))
            return 1;
    }
    return 0;
}

extern "C" void ntfs_scan_cleanup(void* context)
{
    scan_state_s* state = state_of(context);
    delete state;
    if (context != nullptr)
        put_u32(context, 0, 0);
}

extern "C" int32_t ntfs_scan_recover(void* context, uint32_t record_low, uint32_t record_high, const char* destination,
                                     uint32_t* detail)
{
    scan_state_s* state = state_of(context);
    if (state == nullptr)
        return NTFS_SCAN_NOT_OPEN;
    if (destination == nullptr)
        return NTFS_SCAN_BAD_ARGUMENT;
    if (detail != nullptr)
        *detail = 0;
    const TSK_INUM_T inum = static_cast<TSK_INUM_T>(record_high) << 32 | record_low;
    if (inum > state->fs->last_inum)
        return NTFS_SCAN_NO_RECORD;
    std::unique_ptr<TSK_FS_FILE, file_closer> file(tsk_fs_file_open_meta(state->fs.get(), nullptr, inum));
    if (!file || file->meta == nullptr) {
        tsk_error_reset();
        return NTFS_SCAN_NO_RECORD;
    }
    QFile out(QFile::decodeName(destination));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return NTFS_SCAN_UNWRITABLE;
    const int result = copy_data(file.get(), out, detail);
    tsk_error_reset();
    return result == 0 && !out.flush() ? NTFS_SCAN_SHORT : result;
}
