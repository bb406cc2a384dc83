#include "scan/raw_recovery.h"

#include "libs/carve/carve.h"
#include "libs/carve/carve_unreadable.h"
#include "scan/diagnostic_log.h"
#include "scan/file_sink.h"
#include "scan/raw_scan_file.h"

#include <QFile>

#include <atomic>
#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace tarn {

namespace {

void on_hit(void* user, const char* extension, uint32_t offset_low, uint32_t offset_high, uint32_t size_low,
            uint32_t size_high)
{
    static_cast<raw_recovery_c*>(user)->add_hit(extension != nullptr ? extension : "", std::uint64_t{offset_high} << 32 | offset_low,
                                                std::uint64_t{size_high} << 32 | size_low);
}

// Closes a carve_open handle whatever happens.
struct volume_reader_s {
    uintptr_t handle;
    ~volume_reader_s()
    {
        if (handle != 0)
            carve_close(handle);
    }
};

// A joined file has two pieces; room for more costs nothing.
constexpr int32_t max_pieces = 8;

} // namespace

void configure_carving(const QString& path)
{
    carve_configure(QFile::encodeName(path).constData());
}

raw_recovery_c::~raw_recovery_c()
{
    set_stop(2);
    wait();
}

std::int32_t* raw_recovery_c::block_int(std::size_t at)
{
    return reinterpret_cast<std::int32_t*>(block_.data() + at);
}

void raw_recovery_c::set_volume(const volume_item_s& volume)
{
    volume_ = volume;
    device_path_ = volume.volume_path;
    if (device_path_.endsWith(QLatin1Char('\\')))
        device_path_.chop(1);
}

double raw_recovery_c::get_progress()
{
    return std::atomic_ref<double>(*reinterpret_cast<double*>(block_.data() + CARVE_BLOCK_PROGRESS)).load();
}

void raw_recovery_c::set_progress(double value)
{
    std::atomic_ref<double>(*reinterpret_cast<double*>(block_.data() + CARVE_BLOCK_PROGRESS)).store(value);
}

void raw_recovery_c::set_stop(std::int32_t code) { std::atomic_ref<std::int32_t>(*block_int(CARVE_BLOCK_STOP)).store(code); }
std::int32_t raw_recovery_c::get_stop() { return std::atomic_ref<std::int32_t>(*block_int(CARVE_BLOCK_STOP)).load(); }
std::int32_t raw_recovery_c::get_pause() { return std::atomic_ref<std::int32_t>(*block_int(CARVE_BLOCK_PAUSE)).load(); }
void raw_recovery_c::set_pause(std::int32_t value) { std::atomic_ref<std::int32_t>(*block_int(CARVE_BLOCK_PAUSE)).store(value); }

void raw_recovery_c::reset()
{
    block_.fill(std::byte{0});
    const std::lock_guard lock(hits_lock_);
    hits_.clear();
    categories_.clear();
    known_names_.clear();
    failure_ = scan_failure_e::none;
}

void raw_recovery_c::add_hit(std::string_view extension, std::uint64_t offset, std::uint64_t size)
{
    raw_hit_s hit;
    hit.offset = offset;
    hit.size = size;
    std::memcpy(hit.extension, extension.data(), std::min(extension.size(), sizeof hit.extension));
    {
        const std::lock_guard lock(hits_lock_);
        hit.sequence = hits_.size();
        hits_.push_back(hit);
    }
    add_category(hit);
}

void raw_recovery_c::add_category(const raw_hit_s& hit)
{
    const std::string_view stored = raw_hit_extension(hit);
    const QString type = QString::fromLatin1(stored.data(), static_cast<qsizetype>(stored.size()));
    auto category = std::find_if(categories_.begin(), categories_.end(),
                                 [&type](const raw_category_s& c) { return c.extension == type; });
    if (category == categories_.end())
        category = categories_.insert(categories_.end(), raw_category_s{type, {}});
    category->sequences.push_back(hit.sequence);
}

std::vector<raw_hit_s> raw_recovery_c::hits_snapshot() const
{
    const std::lock_guard lock(hits_lock_);
    return hits_;
}

int raw_recovery_c::save_results(const QString& path) const
{
    return save_scan_file(path, device_path_, hits_snapshot());
}

QString raw_recovery_c::load_results(const QString& path)
{
    std::vector<raw_hit_s> loaded;
    const QString device = load_scan_file(path, loaded);
    if (device.isEmpty())
        return {};
    // The loaded records become the hits as they are; only the categories are built from them.
    categories_.clear();
    for (const raw_hit_s& hit : loaded)
        add_category(hit);
    {
        const std::lock_guard lock(hits_lock_);
        hits_ = std::move(loaded);
    }
    device_path_ = device;
    return device;
}

void raw_recovery_c::run()
{
    // The page reset the engine before starting it: a stop or pause pressed meanwhile stays.
    {
        const std::lock_guard lock(hits_lock_);
        hits_.clear();
    }
    categories_.clear();
    failure_ = scan_failure_e::none;
    raw_recovery_c* self = this;
    carve_hit_fn callback = on_hit;
    std::memcpy(block_.data(), &self, sizeof self);
    std::memcpy(block_.data() + CARVE_BLOCK_CALLBACK, &callback, sizeof callback);
    if (carve_scan(block_.data(), QFile::encodeName(device_path_).constData()) != 0) {
        failure_ = scan_failure_e::volume_missing;
        log_error("raw_recovery", __LINE__, "volume %s could not be opened for the deep scan", qUtf8Printable(device_path_));
    }
    // Blocks that could not be read were passed over; the log says where. A volume none of
    // whose bytes could be read was not scanned at all: that is a failure, not an empty result.
    const read_failures_c unreadable = carve_take_unreadable();
    log_unreadable("raw_recovery", __LINE__, QByteArray("deep scan of " + device_path_.toUtf8()).constData(), unreadable);
    if (failure_ == scan_failure_e::none && volume_.total_bytes != 0 && unreadable.covers(0, volume_.total_bytes))
        failure_ = scan_failure_e::unreadable;
    if (const std::uint64_t cut_off = carve_take_cut_off(); cut_off != 0)
        log_error("raw_recovery", __LINE__, "deep scan of %s: %llu places were passed over, as measuring them would cost "
                  "more than the scan allows (bytes built to slow the scan)",
                  qUtf8Printable(device_path_), static_cast<unsigned long long>(cut_off));
}

namespace {

// Copies size bytes from offset of the volume to sink, read in the library's steps into the
// buffers it gives (each a multiple of the step).
std::int32_t copy_piece(uintptr_t volume, file_sink_c& sink, std::uint64_t offset, std::uint64_t size)
{
    if (carve_seek(volume, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(offset >> 32), 0) < 0)
        return recovery_incomplete;
    for (std::uint64_t left = size; left > 0;) {
        const std::span<char> buffer = sink.next();
        std::size_t filled = 0;
        while (left > 0 && buffer.size() - filled >= CARVE_READ_STEP) {
            const int32_t got = carve_read(volume, buffer.data() + filled, CARVE_READ_STEP);
            if (got <= 0) {
                log_error("raw_recovery", __LINE__, "file at byte offset %llu: could not read at byte offset %llu",
                          static_cast<unsigned long long>(offset), static_cast<unsigned long long>(offset + (size - left)));
                return recovery_incomplete;
            }
            const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(got), left));
            filled += take;
            left -= take;
        }
        if (!sink.put(filled))
            return recovery_incomplete;
    }
    return recovery_ok;
}

} // namespace

std::int32_t raw_recovery_c::recover_file(std::uint64_t id, QString destination)
{
    if (id >= hits_.size())
        return recovery_not_found;
    const raw_hit_s& hit = hits_[static_cast<std::size_t>(id)];
    const QByteArray device = QFile::encodeName(device_path_);
    // A joined file's pieces are found again on the volume; one that no longer joins as it did
    // is not written at all rather than written with foreign bytes.
    std::vector<std::uint64_t> pieces{hit.offset, hit.size};
    if (raw_hit_extension(hit).ends_with("~j")) {
        pieces.assign(2 * max_pieces, 0);
        const int32_t count = carve_pieces(device.constData(), static_cast<std::uint32_t>(hit.offset),
                                           static_cast<std::uint32_t>(hit.offset >> 32), static_cast<std::uint32_t>(hit.size),
                                           static_cast<std::uint32_t>(hit.size >> 32), pieces.data(), max_pieces);
        if (count <= 0)
            return recovery_not_found;
        pieces.resize(2 * static_cast<std::size_t>(count));
    }
    // The hit's own offset and its whole 64-bit size: rounding down to a sector would put foreign
    // bytes in front of the file and cut as many from its end.
    const volume_reader_s volume{carve_open(device.constData())};
    if (volume.handle == 0)
        return recovery_not_found;
    // A record (of a scan file, crafted or damaged) that runs past the volume's end is no file of
    // this volume: recovery must not write what is not there.
    const std::uint64_t end = pieces[0] + pieces[1];
    if (end < pieces[0] || carve_seek(volume.handle, static_cast<std::uint32_t>(end), static_cast<std::uint32_t>(end >> 32), 0) < 0) {
        log_error("raw_recovery", __LINE__, "hit %llu: %llu bytes at byte offset %llu run past the volume's end",
                  static_cast<unsigned long long>(id), static_cast<unsigned long long>(pieces[1]),
                  static_cast<unsigned long long>(pieces[0]));
        return recovery_not_found;
    }
    QFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return recovery_unwritable;
    // A file larger than one part is written behind its reading; a smaller one through a buffer
    // as large as the file (in whole steps), not cleared: every byte written is read first.
    const bool behind = hit.size > write_behind_c::part_bytes;
    if (behind && writer_ == nullptr)
        writer_ = std::make_unique<write_behind_c>();
    const std::size_t own = behind ? 0 : static_cast<std::size_t>(std::max<std::uint64_t>((hit.size + CARVE_READ_STEP - 1) / CARVE_READ_STEP, 1)) * CARVE_READ_STEP;
    const std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(own);
    file_sink_c sink(out, behind ? writer_.get() : nullptr, std::span<char>(buffer.get(), own));
    for (std::size_t i = 0; i < pieces.size(); i += 2)
        if (const std::int32_t result = copy_piece(volume.handle, sink, pieces[i], pieces[i + 1]); result != recovery_ok)
            return result;
    return sink.finish() && out.flush() ? recovery_ok : recovery_incomplete;
}

} // namespace tarn
