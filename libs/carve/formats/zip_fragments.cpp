// A ZIP whose structure broke before its end record. When its central directory turns up after
// another whole file, with every member's local header where the directory says once the other
// file's bytes are left out, and the member that spans the other file's start and every member
// after it have their CRCs match, the archive is joined. Otherwise it is cut after its last member whose CRC
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

// The Zip64 end record written right before the locator that precedes the end record at end_at
// (the record without extensible data, as writers make it): the directory's entries, size and
// stated offset; false when there is none.
bool zip64_before(carve_reader_c& in, std::uint64_t end_at, zip_directory_s& dir, std::uint64_t& offset)
{
    constexpr std::uint64_t record_bytes = 56, locator_bytes = 20;
    if (end_at < record_bytes + locator_bytes)
        return false;
    const std::uint64_t record = end_at - locator_bytes - record_bytes;
    bool ok = true;
    if (in.le32(end_at - locator_bytes, ok) != 0x07064B50 || in.le32(record, ok) != 0x06064B50 || in.le64(record + 4, ok) != 44)
        return false;
    dir.entries = in.le64(record + 32, ok);
    dir.size = in.le64(record + 40, ok);
    offset = in.le64(record + 48, ok);
    dir.records_end = record;
    return ok && dir.size <= record && dir.entries == in.le64(record + 24, ok);
}

// An end record at end_at whose directory lies right before it (or before its Zip64 record),
// filled exactly by its records; the directory's stated offset is in offset.
bool directory_before(carve_reader_c& in, std::uint64_t end_at, std::uint64_t stop, zip_directory_s& dir,
                      std::uint64_t& offset)
{
    bool ok = true;
    const unsigned here = in.le16(end_at + 8, ok);
    const unsigned total = in.le16(end_at + 10, ok);
    const std::uint32_t size = in.le32(end_at + 12, ok);
    offset = in.le32(end_at + 16, ok);
    const unsigned comment = in.le16(end_at + 20, ok);
    if (!ok || in.le32(end_at + 4, ok) != 0 || here != total || total == 0 || end_at + 22 + comment > stop)
        return false;
    dir = {0, size, total, end_at, end_at, end_at + 22 + comment};
    const bool zip64 = total == 0xFFFF || size == 0xFFFFFFFF || offset == 0xFFFFFFFF;
    if ((zip64 && !zip64_before(in, end_at, dir, offset)) || dir.size > dir.records_end)
        return false;
    dir.at = dir.records_end - dir.size;
    return zip_each_entry(in, dir, [](std::uint64_t, unsigned) {});
}

// The sizes and offset a directory record leaves at their largest value, read from its Zip64
// extra field; false when the field is missing or short.
bool zip64_values(carve_reader_c& in, std::uint64_t record, member_s& m)
{
    bool ok = true;
    const unsigned name_length = in.le16(record + 28, ok);
    const unsigned extra_length = in.le16(record + 30, ok);
    const std::uint64_t extra = record + zip_central_bytes + name_length;
    for (std::uint64_t at = extra; ok && at + 4 <= extra + extra_length;) {
        const unsigned id = in.le16(at, ok);
        const unsigned length = in.le16(at + 2, ok);
        if (id != 1) {
            at += 4 + length;
            continue;
        }
        std::uint64_t field = at + 4;
        for (std::uint64_t* value : {&m.unpacked, &m.packed, &m.offset})
            if (*value == 0xFFFFFFFF) {
                if (field + 8 > at + 4 + length)
                    return false;
                *value = in.le64(field, ok);
                field += 8;
            }
        return ok;
    }
    return false;
}

// The directory's members in the order of their local headers.
bool directory_members(carve_reader_c& in, const zip_directory_s& dir, std::vector<member_s>& members)
{
    bool ok = true;
    zip_each_entry(in, dir, [&](std::uint64_t record, unsigned name_length) {
        member_s m{in.le32(record + 42, ok), in.le32(record + 20, ok), in.le32(record + 24, ok), in.le32(record + 16, ok),
                   in.le16(record + 10, ok), name_length};
        if (m.offset == 0xFFFFFFFF || m.packed == 0xFFFFFFFF || m.unpacked == 0xFFFFFFFF)
            ok &= zip64_values(in, record, m);
        members.push_back(m);
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
        // The member that spans the gap and every one after it must hold what its CRC says.
        const auto sound = [&](const member_s& m) { return member_sound(in, layout, start + m.offset, stop, m, end); };
        if (other.end <= other.at + gap && std::all_of(members.begin() + static_cast<std::ptrdiff_t>(k), members.end(), sound)) {
            found = carve_found_s(other.at - start);
            found.tail_at = other.at + gap;
            found.tail_size = dir.end - found.tail_at;
            return true;
        }
    }
    return false;
}

} // namespace

bool zip_joins_at(carve_reader_c& in, std::uint64_t start, std::uint64_t end_at, std::uint64_t stop, carve_found_s& found)
{
    zip_directory_s dir;
    std::uint64_t offset = 0;
    return directory_before(in, end_at, stop, dir, offset) && dir.at > start + offset
           && join(in, start, stop, dir, dir.at - (start + offset), found);
}

carve_found_s zip_cut(carve_reader_c& in, std::uint64_t start, std::uint64_t stop)
{
    const std::uint64_t end = sound_members_end(in, start, stop);
    return end > start ? carve_found_s::cut(end - start) : carve_found_s{};
}

carve_found_s zip_join_or_cut(carve_reader_c& in, std::uint64_t start, std::uint64_t from, std::uint64_t stop)
{
    for (std::uint64_t at = from; (at = in.find(at, stop, std::string_view("PK\5\6", 4))) != stop; ++at)
        if (carve_found_s found; zip_joins_at(in, start, at, stop, found))
            return found;
    return zip_cut(in, start, stop);
}

} // namespace tarn
