// A ZIP whose structure broke before its end record. When its central directory turns up after
// another whole file, with every member's local header where the directory says once the other
// file's bytes are left out, and the member that spans the other file's start has its CRC match
// across the gap, the archive is joined. Otherwise it is cut after its last member whose CRC
// matches, and reported partial.

#include "libs/carve/formats/deflate.h"
#include "libs/carve/formats/zip_directory.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

namespace tarn {

namespace {

constexpr std::uint32_t local_sig = 0x04034B50;
constexpr int most_members = 1 << 16;
constexpr int most_tries = 16;

struct member_s {
    std::uint64_t offset = 0; // of its local header, from the archive's start
    std::uint64_t packed = 0;
    std::uint64_t unpacked = 0;
    std::uint32_t crc = 0;
    unsigned method = 0;
    unsigned name_length = 0;
};

// Whether the member whose local header is at (an offset of the layout) holds data that matches
// its CRC; sets end past its data.
bool member_sound(carve_reader_c& in, const split_layout_s& layout, std::uint64_t at, std::uint64_t stop,
                  const member_s& m, std::uint64_t& end)
{
    std::array<std::byte, 30> header{};
    if (!layout.read(in, at, header) || load_le32(header, 0) != local_sig || load_le16(header, 26) != m.name_length)
        return false;
    const std::uint64_t data = at + 30 + load_le16(header, 26) + load_le16(header, 28);
    end = data + m.packed;
    if (end > stop)
        return false;
    if (m.method == 0) {
        std::uint32_t crc = 0;
        return m.packed == m.unpacked && layout.crc32(in, data, m.packed, crc) && crc == m.crc;
    }
    inflated_s result;
    return m.method == 8 && inflate_stream(in, layout, data, end, result) && result.used == m.packed
           && result.crc == m.crc && result.length == m.unpacked;
}

// The members walked from start by their local headers while each one's CRC matches; the end of
// the last, or start when the first already fails.
std::uint64_t sound_members_end(carve_reader_c& in, std::uint64_t start, std::uint64_t stop)
{
    std::uint64_t at = start;
    for (int n = 0; n < most_members; ++n) {
        bool ok = true;
        const unsigned flags = in.le16(at + 6, ok);
        member_s m{at - start, in.le32(at + 18, ok), in.le32(at + 22, ok), in.le32(at + 14, ok), in.le16(at + 8, ok),
                   in.le16(at + 26, ok)};
        std::uint64_t end = 0;
        // Sizes that follow the data cannot be checked ahead of it.
        if (!ok || (flags & 8) != 0 || !member_sound(in, {}, at, stop, m, end))
            break;
        at = end;
    }
    return at;
}

// A classic end record at end_at whose directory lies right before it, filled exactly by its
// records; the directory's stated offset is in offset.
bool directory_before(carve_reader_c& in, std::uint64_t end_at, std::uint64_t stop, zip_directory_s& dir,
                      std::uint64_t& offset)
{
    bool ok = true;
    const unsigned here = in.le16(end_at + 8, ok);
    const unsigned total = in.le16(end_at + 10, ok);
    const std::uint32_t size = in.le32(end_at + 12, ok);
    offset = in.le32(end_at + 16, ok);
    const unsigned comment = in.le16(end_at + 20, ok);
    if (!ok || in.le32(end_at + 4, ok) != 0 || here != total || total == 0 || size > end_at || offset == 0xFFFFFFFF
        || end_at + 22 + comment > stop)
        return false;
    dir = {end_at - size, size, total, end_at, end_at, end_at + 22 + comment};
    return zip_each_entry(in, dir, [](std::uint64_t, unsigned) {});
}

// The directory's members in the order of their local headers; false on Zip64 values.
bool directory_members(carve_reader_c& in, const zip_directory_s& dir, std::vector<member_s>& members)
{
    bool ok = true;
    zip_each_entry(in, dir, [&](std::uint64_t record, unsigned name_length) {
        members.push_back({in.le32(record + 42, ok), in.le32(record + 20, ok), in.le32(record + 24, ok),
                           in.le32(record + 16, ok), in.le16(record + 10, ok), name_length});
        ok &= members.back().offset != 0xFFFFFFFF && members.back().packed != 0xFFFFFFFF;
    });
    std::sort(members.begin(), members.end(), [](const member_s& a, const member_s& b) { return a.offset < b.offset; });
    return ok && !members.empty() && members.front().offset == 0;
}

bool local_at(carve_reader_c& in, std::uint64_t at, const member_s& m)
{
    bool ok = true;
    return in.le32(at, ok) == local_sig && in.le16(at + 26, ok) == m.name_length && ok;
}

// The join of the archive at start with the directory dir found gap bytes further on than it says.
bool join(carve_reader_c& in, std::uint64_t start, std::uint64_t stop, const zip_directory_s& dir, std::uint64_t gap,
          carve_found_s& found)
{
    std::vector<member_s> members;
    if (!directory_members(in, dir, members))
        return false;
    // The last member whose header is where the directory says; every later one must be gap bytes on.
    std::size_t k = 0;
    while (k + 1 < members.size() && local_at(in, start + members[k + 1].offset, members[k + 1]))
        ++k;
    if (!local_at(in, start, members[0]))
        return false;
    for (std::size_t i = k + 1; i < members.size(); ++i)
        if (!local_at(in, start + members[i].offset + gap, members[i]))
            return false;
    const std::uint64_t span_end = start + (k + 1 < members.size() ? members[k + 1].offset : dir.at - gap - start);
    std::uint64_t from = start + members[k].offset;
    for (int tries = 0; tries < most_tries; ++tries) {
        foreign_s other;
        if (!foreign_file(in, from, span_end + 1, stop, other))
            return false;
        from = other.at;
        const split_layout_s layout{other.at, other.at + gap};
        std::uint64_t end = 0;
        if (other.end <= other.at + gap && member_sound(in, layout, start + members[k].offset, stop, members[k], end)) {
            found = carve_found_s(other.at - start);
            found.tail_at = other.at + gap;
            found.tail_size = dir.end - found.tail_at;
            return true;
        }
    }
    return false;
}

} // namespace

carve_found_s zip_join_or_cut(carve_reader_c& in, std::uint64_t start, std::uint64_t from, std::uint64_t stop)
{
    for (std::uint64_t at = from; (at = in.find(at, stop, std::string_view("PK\5\6", 4))) != stop; ++at) {
        zip_directory_s dir;
        std::uint64_t offset = 0;
        carve_found_s found;
        if (directory_before(in, at, stop, dir, offset) && dir.at > start + offset
            && join(in, start, stop, dir, dir.at - (start + offset), found))
            return found;
    }
    const std::uint64_t end = sound_members_end(in, start, stop);
    return end > start ? carve_found_s::cut(end - start) : carve_found_s{};
}

} // namespace tarn
