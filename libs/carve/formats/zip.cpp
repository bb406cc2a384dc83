// ZIP and the formats built on it. The file ends with its end-of-central-directory record. A walk
// over the local entries whose sizes are known reaches the central directory at once; an entry
// whose sizes follow its data (a data descriptor), or bytes between the entries and the directory
// (a signing block), make the search look ahead for the end record instead. An end record counts
// only when the directory it names starts with a "PK\1\2" record where it says, its entries fill
// it exactly, and its offset and size add up to the end record's own position (the Zip64 record's
// when there is one). A ZIP stored inside a ZIP has its own end record, which fails that test from
// the outer file's start and is passed over.

#include "libs/carve/formats/zip_directory.h"
#include "libs/carve/walk_memo.h"

#include <array>
#include <string_view>

namespace tarn {

namespace {

constexpr std::uint32_t local_sig = 0x04034B50;
constexpr std::uint32_t end64_sig = 0x06064B50;
constexpr std::uint32_t locator_sig = 0x07064B50;
constexpr std::uint64_t end_bytes = 22;
constexpr int most_members = 1 << 20;

// Compression methods in use: the classic ones, deflate64, bzip2, LZMA, zstd, xz, JPEG, WavPack,
// PPMd and AES encryption.
bool known_method(unsigned method)
{
    return method <= 20 || (method >= 93 && method <= 99);
}

// A local header (its fixed 30 bytes in head) that a writer could have made: a known method, a
// sane version and a name that is text. Most false "PK\3\4" in other data fail here after a few
// bytes.
bool plausible_local(carve_reader_c& in, std::uint64_t at, std::span<const std::byte, 30> head)
{
    const unsigned version = load_le16(head, 4);
    const unsigned method = load_le16(head, 8);
    const unsigned name_length = load_le16(head, 26);
    if ((version & 0xFF) > 100 || !known_method(method) || name_length == 0 || name_length > 4096)
        return false;
    std::array<std::uint8_t, 32> name{};
    const std::size_t look = std::min<std::size_t>(name.size(), name_length);
    if (!in.read(at + 30, std::as_writable_bytes(std::span<std::uint8_t>(name.data(), look))))
        return false;
    for (std::size_t i = 0; i < look; ++i)
        if (name[i] < 0x20 || name[i] == 0x7F)
            return false;
    return true;
}

struct walked_s {
    std::uint64_t at = 0; // the central directory when reached, else where the walk stopped
    bool reached = false;
    bool valid = false; // false when the first entry is no entry or an entry runs past stop
};

// How a walk ended: an entry ran past stop (no file), at the directory, at bytes that are no
// entry, or at an entry whose sizes are not in its header.
enum walk_end_e { runs_past = 0, reached_directory, foreign, sizes_later };

// The local entries walked from start, as far as their sizes are known (an entry whose sizes
// follow its data, or foreign bytes, stop the walk). Where a walk ends is kept: every local header
// is a candidate of its own, and one that a walk passed ends where that walk did.
walked_s walk_entries(carve_reader_c& in, std::uint64_t start, std::uint64_t stop)
{
    static constexpr char key = 0;
    walk_memo_c& memo = in.memo<walk_memo_c>(&key);
    walk_path_c path;
    std::uint64_t at = start;
    const auto ended = [&](walk_end_e how, bool by_stop) -> walked_s {
        memo.keep(in, std::move(path), {at, how}, stop, by_stop);
        if (how == runs_past)
            return {};
        return {at, how == reached_directory, how != foreign || at != start};
    };
    for (int members = 0; members < most_members; ++members) {
        if (const walk_outcome_s* known = memo.outcome(at, stop)) {
            at = known->at;
            return ended(static_cast<walk_end_e>(known->how), known->how == runs_past);
        }
        bool ok = true;
        const std::uint32_t sig = in.le32(at, ok);
        if (ok && sig == zip_central_sig)
            return ended(reached_directory, false);
        std::array<std::byte, 30> head{};
        if (!ok || sig != local_sig || !in.read(at, head) || !plausible_local(in, at, head))
            return ended(foreign, false);
        const unsigned flags = load_le16(head, 6);
        const std::uint32_t packed = load_le32(head, 18);
        const unsigned name_length = load_le16(head, 26);
        const unsigned extra_length = load_le16(head, 28);
        if ((flags & 8) != 0 || packed == 0xFFFFFFFF)
            return ended(sizes_later, false);
        const std::uint64_t next = at + 30 + name_length + extra_length + packed;
        if (next > stop)
            return ended(runs_past, true);
        path.pass(at);
        at = next;
    }
    return {};
}

// The directory named by a Zip64 end record, found through the locator just before the classic
// end record at end_at.
bool read_zip64(carve_reader_c& in, std::uint64_t start, std::uint64_t end_at, zip_directory_s& dir)
{
    if (end_at < start + 20)
        return false;
    const std::uint64_t locator = end_at - 20;
    bool ok = true;
    if (in.le32(locator, ok) != locator_sig || in.le32(locator + 4, ok) != 0 || in.le32(locator + 16, ok) > 1)
        return false;
    const std::uint64_t record = in.le64(locator + 8, ok);
    if (!ok || record >= locator - start)
        return false;
    const std::uint64_t at = start + record;
    const std::uint64_t length = in.le64(at + 4, ok);
    if (!ok || in.le32(at, ok) != end64_sig || length < 44 || length != locator - at - 12)
        return false;
    const std::uint64_t here = in.le64(at + 24, ok);
    dir.entries = in.le64(at + 32, ok);
    dir.size = in.le64(at + 40, ok);
    dir.at = in.le64(at + 48, ok);
    dir.records_end = at;
    return ok && in.le32(at + 16, ok) == 0 && in.le32(at + 20, ok) == 0 && here == dir.entries;
}

// The archive whose end record sits at end_at, if that record is this archive's: see the top.
bool read_end(carve_reader_c& in, std::uint64_t start, std::uint64_t end_at, std::uint64_t stop, zip_directory_s& dir)
{
    bool ok = true;
    const unsigned disk = in.le16(end_at + 4, ok);
    const unsigned directory_disk = in.le16(end_at + 6, ok);
    const unsigned here = in.le16(end_at + 8, ok);
    const unsigned total = in.le16(end_at + 10, ok);
    const std::uint32_t size = in.le32(end_at + 12, ok);
    const std::uint32_t offset = in.le32(end_at + 16, ok);
    const unsigned comment = in.le16(end_at + 20, ok);
    dir.end_at = end_at;
    dir.end = end_at + end_bytes + comment;
    if (!ok || dir.end > stop)
        return false;
    // A field at its largest value points to the Zip64 record, though 65,535 entries may be just that.
    const bool zip64 = total == 0xFFFF || size == 0xFFFFFFFF || offset == 0xFFFFFFFF;
    if (!zip64 || !read_zip64(in, start, end_at, dir)) {
        if (disk != 0 || directory_disk != 0 || here != total)
            return false;
        dir.at = offset;
        dir.size = size;
        dir.entries = total;
        dir.records_end = end_at;
    }
    if (dir.entries == 0 || dir.at > dir.records_end - start || dir.size != dir.records_end - start - dir.at)
        return false;
    dir.at += start;
    return zip_each_entry(in, dir, [](std::uint64_t, unsigned) {});
}

// The first valid end record of the archive at start, searched from at up to stop; when want_at
// is not 0 its directory must start there (the walk reached it). Found sets dir. Each try moves
// on, so the tries are bounded by the bytes searched.
bool find_end(carve_reader_c& in, std::uint64_t start, std::uint64_t at, std::uint64_t stop, std::uint64_t want_at,
              zip_directory_s& dir)
{
    for (;; ++at) {
        at = in.find(at, stop, std::string_view("PK\5\6", 4));
        if (at == stop)
            return false;
        if (read_end(in, start, at, stop, dir) && (want_at == 0 || dir.at == want_at))
            return true;
    }
}

carve_found_s measure_zip(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const std::uint64_t stop = start + limit;
    const walked_s walked = walk_entries(in, start, stop);
    zip_directory_s dir;
    if (!walked.valid)
        return 0;
    if (walked.reached)
        return find_end(in, start, walked.at, stop, walked.at, dir) ? carve_found_s(dir.end - start)
                                                                    : zip_join_or_cut(in, start, walked.at, stop);
    // Entries whose sizes follow their data, or a break: the first end record that closes the
    // archive whole or joins it across another file decides. Looking on for a whole one after a
    // joining one would read the rest of the volume for every fragmented archive.
    for (std::uint64_t at = walked.at; (at = in.find(at, stop, std::string_view("PK\5\6", 4))) != stop; ++at) {
        if (read_end(in, start, at, stop, dir))
            return dir.end - start;
        if (carve_found_s joined; zip_joins_at(in, start, at, stop, joined))
            return joined;
    }
    return zip_cut(in, start, stop);
}

} // namespace

bool zip_directory(carve_reader_c& in, std::uint64_t start, std::uint64_t size, zip_directory_s& dir)
{
    // The end record lies within its largest comment of the end.
    const std::uint64_t back = end_bytes + 0xFFFF;
    const std::uint64_t from = size > back ? start + size - back : start;
    for (std::uint64_t at = from; find_end(in, start, at, start + size, 0, dir); at = dir.end_at + 1)
        if (dir.end == start + size)
            return true;
    return false;
}

const carve_format_s carve_zip{"zip", {std::string_view("PK\3\4", 4)}, 2ull << 30, measure_zip, name_zip};

} // namespace tarn
