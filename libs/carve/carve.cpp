#include "libs/carve/carve.h"

#include "libs/carve/carve_config.h"
#include "libs/carve/carve_unreadable.h"
#include "libs/carve/carver.h"
#include "libs/carve/formats/fragments.h"
#include "libs/carve/recent_volume.h"
#include "platform/device.h"
#include "platform/noting_source.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace tarn {

namespace {

std::byte* field(void* block, std::size_t at)
{
    return static_cast<std::byte*>(block) + at;
}

// A volume opened for reading through carve_open, with its position. Callers read in small
// steps; the volume is read in larger ones behind them, growing from 16 KiB by a quarter at a time
// to 256 KiB while the reads stay sequential. Whatever is read past the file's end is wasted, and
// most carved files are small: doubling from 64 KiB read twice the bytes written.
struct volume_handle_s {
    static constexpr std::size_t first_fill = 1 << 14;
    static constexpr std::size_t buffer_bytes = 1 << 18;

    std::shared_ptr<device_c> device;
    std::uint64_t position = 0;
    std::unique_ptr<std::byte[]> buffer = std::make_unique_for_overwrite<std::byte[]>(buffer_bytes);
    std::uint64_t buffer_at = 0;
    std::size_t buffer_len = 0;
    std::size_t fill = first_fill;

    std::int64_t read(std::span<std::byte> out)
    {
        if (position < buffer_at || position >= buffer_at + buffer_len) {
            fill = position == buffer_at + buffer_len ? std::min((fill + fill / 4) & ~std::size_t{4095}, buffer_bytes)
                                                      : first_fill;
            const auto got = device->read_at(position, std::span<std::byte>(buffer.get(), fill));
            if (got <= 0)
                return got;
            buffer_at = position;
            buffer_len = static_cast<std::size_t>(got);
        }
        const auto skip = static_cast<std::size_t>(position - buffer_at);
        const std::size_t n = std::min(out.size(), buffer_len - skip);
        std::memcpy(out.data(), buffer.get() + skip, n);
        position += n;
        return static_cast<std::int64_t>(n);
    }
};

// The pieces of the joined files the last scan of each volume found, so that recovering them after
// the scan does not measure them again (a scan file opened in another run finds them again on the
// volume). Only joined files are kept: few, and small.
class joined_memo_c {
public:
    void forget(const std::string& volume)
    {
        const std::lock_guard lock(mutex_);
        std::erase_if(pieces_, [&](const auto& entry) { return std::get<0>(entry.first) == volume; });
    }
    void keep(const std::string& volume, std::uint64_t offset, std::vector<carve_piece_s> pieces)
    {
        const std::lock_guard lock(mutex_);
        pieces_[{volume, offset, pieces[0].size + pieces[1].size}] = std::move(pieces);
    }
    std::vector<carve_piece_s> find(const std::string& volume, std::uint64_t offset, std::uint64_t size)
    {
        const std::lock_guard lock(mutex_);
        const auto it = pieces_.find({volume, offset, size});
        return it != pieces_.end() ? it->second : std::vector<carve_piece_s>{};
    }

private:
    std::mutex mutex_;
    std::map<std::tuple<std::string, std::uint64_t, std::uint64_t>, std::vector<carve_piece_s>> pieces_;
};

joined_memo_c& joined_memo()
{
    static joined_memo_c memo;
    return memo;
}

struct unreadable_s {
    std::mutex mutex;
    read_failures_c failures;
    std::uint64_t cut_off = 0;
};

unreadable_s& last_unreadable()
{
    static unreadable_s last;
    return last;
}

} // namespace

read_failures_c carve_take_unreadable()
{
    unreadable_s& last = last_unreadable();
    const std::lock_guard lock(last.mutex);
    return std::exchange(last.failures, read_failures_c{});
}

std::uint64_t carve_take_cut_off()
{
    unreadable_s& last = last_unreadable();
    const std::lock_guard lock(last.mutex);
    return std::exchange(last.cut_off, 0);
}

} // namespace tarn

using namespace tarn;

extern "C" int32_t carve_configure(const char* path)
{
    return path == nullptr ? -1 : load_carve_config(QFile::decodeName(path));
}

extern "C" int32_t carve_scan(void* block, const char* volume_path)
{
    if (block == nullptr || volume_path == nullptr)
        return -1;
    auto device = device_c::open(QFile::decodeName(volume_path), access_e::read);
    if (!device)
        return -1;
    // Every failed read is noted for the engine to log, and a short one fails rather than leave
    // a block's tail to an earlier block's bytes.
    noting_source_c source(std::move(device));
    void* user = nullptr;
    carve_hit_fn callback = nullptr;
    std::memcpy(&user, field(block, 0), sizeof user);
    std::memcpy(&callback, field(block, CARVE_BLOCK_CALLBACK), sizeof callback);
    const carve_progress_s control{reinterpret_cast<double*>(field(block, CARVE_BLOCK_PROGRESS)),
                                   reinterpret_cast<std::int32_t*>(field(block, CARVE_BLOCK_PAUSE)),
                                   reinterpret_cast<std::int32_t*>(field(block, CARVE_BLOCK_STOP))};
    const std::string volume = volume_path;
    joined_memo().forget(volume);
    recent_volume().forget();
    const std::uint64_t cut_off = carve_source(source, carve_types(), control, [&](const char* extension, std::uint64_t offset, const carve_found_s& found) {
        const std::uint64_t size = found.total();
        if (found.tail_size != 0)
            joined_memo().keep(volume, offset, {{offset, found.size}, {found.tail_at, found.tail_size}});
        if (callback != nullptr)
            callback(user, extension, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(offset >> 32),
                     static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(size >> 32));
    });
    unreadable_s& last = last_unreadable();
    const std::lock_guard lock(last.mutex);
    last.failures = source.take_failures();
    last.cut_off = cut_off;
    return 0;
}

extern "C" int32_t carve_pieces(const char* volume_path, uint32_t offset_low, uint32_t offset_high, uint32_t size_low,
                                uint32_t size_high, uint64_t* pieces, int32_t room)
{
    if (volume_path == nullptr || pieces == nullptr)
        return -1;
    const auto device = recent_volume().open(volume_path);
    if (!device)
        return -1;
    const std::uint64_t offset = std::uint64_t{offset_high} << 32 | offset_low;
    const std::uint64_t size = std::uint64_t{size_high} << 32 | size_low;
    std::vector<carve_piece_s> found = joined_memo().find(volume_path, offset, size);
    if (found.empty()) {
        carve_reader_c reader(*device);
        reader.set_types(&carve_types());
        found = carve_pieces(reader, offset, size);
    }
    if (found.empty() || found.size() > static_cast<std::size_t>(std::max(room, 0)))
        return -1;
    for (std::size_t i = 0; i < found.size(); ++i) {
        pieces[2 * i] = found[i].at;
        pieces[2 * i + 1] = found[i].size;
    }
    return static_cast<int32_t>(found.size());
}

extern "C" uintptr_t carve_open(const char* volume_path)
{
    if (volume_path == nullptr)
        return 0;
    auto device = recent_volume().open(volume_path);
    if (!device)
        return 0;
    return reinterpret_cast<uintptr_t>(new volume_handle_s{std::move(device), 0});
}

extern "C" int32_t carve_seek(uintptr_t handle, uint32_t offset_low, uint32_t offset_high, int32_t origin)
{
    auto* volume = reinterpret_cast<volume_handle_s*>(handle);
    const std::uint64_t offset = std::uint64_t{offset_high} << 32 | offset_low;
    if (volume == nullptr || origin != 0 || offset > volume->device->size())
        return -1;
    volume->position = offset;
    return 0;
}

extern "C" int32_t carve_read(uintptr_t handle, void* buffer, uint32_t length)
{
    auto* volume = reinterpret_cast<volume_handle_s*>(handle);
    if (volume == nullptr || buffer == nullptr)
        return -1;
    return static_cast<int32_t>(
        volume->read(std::span<std::byte>(static_cast<std::byte*>(buffer), std::min<uint32_t>(length, CARVE_READ_STEP))));
}

extern "C" void carve_close(uintptr_t handle)
{
    delete reinterpret_cast<volume_handle_s*>(handle);
}
