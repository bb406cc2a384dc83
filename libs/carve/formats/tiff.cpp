// TIFF: the header's byte order and first directory, then every directory reached from it (the
// chain of next-directory offsets, SubIFDs, the EXIF, GPS and interoperability directories),
// each entry's type checked, every value that lies outside its entry and every strip, tile and
// embedded JPEG preview placed inside the limit. The file ends at the furthest of them. Camera raw
// files are told apart by their header (CR2), their maker (NEF, ARW) or a DNG version tag.

#include "libs/carve/formats/tiff_walk.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

namespace tarn {

namespace {

constexpr std::size_t most_directories = 64;
constexpr unsigned most_entries = 1024;
constexpr std::uint32_t most_pieces = 1 << 20; // strips or tiles of one image

enum tag_e : unsigned {
    strip_offsets = 273, strip_counts = 279, tile_offsets = 324, tile_counts = 325, sub_ifds = 330,
    jpeg_offset = 513, jpeg_length = 514, make = 271, exif_ifd = 34665, gps_ifd = 34853, interop_ifd = 40965,
    dng_version = 50706
};

unsigned type_size(unsigned type)
{
    static constexpr std::array<unsigned, 14> sizes{0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < sizes.size() ? sizes[type] : 0;
}

struct entry_s {
    unsigned tag = 0;
    unsigned type = 0;
    std::uint32_t count = 0;
    std::uint64_t value_at = 0; // where the value lies: in the entry or at its offset
};

class tiff_walk_c {
public:
    tiff_walk_c(carve_reader_c& in, std::uint64_t start, std::uint64_t limit, bool big)
        : in_(in), start_(start), limit_(limit), big_(big) {}

    std::uint64_t end() const { return end_; }
    bool images() const { return images_; }
    std::string_view maker() const { return std::string_view(maker_.data(), maker_length_); }
    bool dng() const { return dng_; }

    // Walks the directory at offset and everything it reaches; false on anything out of place.
    bool walk(std::uint32_t offset)
    {
        std::vector<std::uint32_t> pending{offset};
        while (!pending.empty()) {
            const std::uint32_t at = pending.back();
            pending.pop_back();
            if (at == 0 || std::find(seen_.begin(), seen_.end(), at) != seen_.end())
                continue;
            if (seen_.size() == most_directories || !directory(at, pending))
                return false;
            seen_.push_back(at);
        }
        return true;
    }

private:
    std::uint32_t u16(std::uint64_t at) { return big_ ? in_.be16(at, ok_) : in_.le16(at, ok_); }
    std::uint32_t u32(std::uint64_t at) { return big_ ? in_.be32(at, ok_) : in_.le32(at, ok_); }

    bool reach(std::uint64_t offset, std::uint64_t length)
    {
        if (offset > limit_ || length > limit_ - offset)
            return false;
        end_ = std::max(end_, offset + length);
        return true;
    }

    // The value of element i of an entry holding offsets or counts (SHORT or LONG).
    std::uint32_t element(const entry_s& e, std::uint32_t i)
    {
        return e.type == 3 ? u16(e.value_at + 2ull * i) : u32(e.value_at + 4ull * i);
    }

    bool directory(std::uint32_t offset, std::vector<std::uint32_t>& pending);
    bool pieces(const entry_s& offsets, const entry_s& counts);
    void note(const entry_s& e);

    carve_reader_c& in_;
    const std::uint64_t start_;
    const std::uint64_t limit_;
    const bool big_;
    bool ok_ = true;
    std::uint64_t end_ = 8;
    bool images_ = false;
    bool dng_ = false;
    std::array<char, 16> maker_{};
    std::size_t maker_length_ = 0;
    std::vector<std::uint32_t> seen_;
};

void tiff_walk_c::note(const entry_s& e)
{
    if (e.tag == make && e.type == 2 && maker_length_ == 0) {
        maker_length_ = std::min<std::size_t>(maker_.size(), e.count);
        if (!in_.read(e.value_at, std::as_writable_bytes(std::span<char>(maker_.data(), maker_length_))))
            maker_length_ = 0;
    }
    dng_ |= e.tag == dng_version;
}

bool tiff_walk_c::directory(std::uint32_t offset, std::vector<std::uint32_t>& pending)
{
    const std::uint64_t at = start_ + offset;
    const unsigned count = u16(at);
    if (!ok_ || count == 0 || count > most_entries || !reach(offset, 2 + 12ull * count + 4))
        return false;
    std::array<entry_s, 4> images{}; // strip offsets, strip counts, tile offsets, tile counts
    entry_s jpeg{}, jpeg_size{};
    for (unsigned i = 0; i < count; ++i) {
        const std::uint64_t field = at + 2 + 12ull * i;
        entry_s e{u16(field), u16(field + 2), u32(field + 4), field + 8};
        const unsigned size = type_size(e.type);
        if (!ok_ || size == 0)
            return false;
        const std::uint64_t bytes = std::uint64_t{size} * e.count;
        if (bytes > 4) {
            const std::uint32_t value = u32(field + 8);
            if (!reach(value, bytes))
                return false;
            e.value_at = start_ + value;
        }
        note(e);
        const bool offsets = e.type == 3 || e.type == 4 || e.type == 13;
        if (e.tag == strip_offsets || e.tag == strip_counts || e.tag == tile_offsets || e.tag == tile_counts)
            images[e.tag == strip_offsets ? 0 : e.tag == strip_counts ? 1 : e.tag == tile_offsets ? 2 : 3] = e;
        else if (e.tag == jpeg_offset)
            jpeg = e;
        else if (e.tag == jpeg_length)
            jpeg_size = e;
        else if (offsets && (e.tag == sub_ifds || e.tag == exif_ifd || e.tag == gps_ifd || e.tag == interop_ifd))
            for (std::uint32_t k = 0; k < std::min<std::uint32_t>(e.count, most_directories); ++k)
                pending.push_back(element(e, k));
    }
    if ((images[0].count != 0 && !pieces(images[0], images[1])) || (images[2].count != 0 && !pieces(images[2], images[3])))
        return false;
    if (jpeg.count == 1 && jpeg_size.count == 1 && !reach(element(jpeg, 0), element(jpeg_size, 0)))
        return false;
    pending.push_back(u32(at + 2 + 12ull * count));
    return ok_;
}

// Strips or tiles: as many counts as offsets, each piece inside the limit.
bool tiff_walk_c::pieces(const entry_s& offsets, const entry_s& counts)
{
    if (offsets.count != counts.count || offsets.count > most_pieces || (offsets.type != 3 && offsets.type != 4)
        || (counts.type != 3 && counts.type != 4))
        return false;
    for (std::uint32_t i = 0; i < offsets.count; ++i)
        if (!reach(element(offsets, i), element(counts, i)) || !ok_)
            return false;
    images_ = true;
    return true;
}

bool kind_matches(tiff_kind_e kind, const tiff_walk_c& walk, bool canon)
{
    const std::string_view maker = walk.maker();
    switch (kind) {
    case tiff_kind_e::cr2: return canon;
    case tiff_kind_e::dng: return walk.dng();
    case tiff_kind_e::nef: return !walk.dng() && maker.starts_with("NIKON");
    case tiff_kind_e::arw: return !walk.dng() && maker.starts_with("SONY");
    case tiff_kind_e::tiff: return true;
    }
    return false;
}

} // namespace

carve_found_s tiff_measure(carve_reader_c& in, std::uint64_t start, std::uint64_t limit, tiff_kind_e kind)
{
    const int order = in.byte_at(start);
    const bool big = order == 'M';
    bool ok = true;
    const std::uint32_t first = big ? in.be32(start + 4, ok) : in.le32(start + 4, ok);
    const bool canon = in.byte_at(start + 8) == 'C' && in.byte_at(start + 9) == 'R' && in.byte_at(start + 10) == 2;
    if (!ok || first < 8 || first >= limit)
        return 0;
    tiff_walk_c walk(in, start, limit, big);
    if (!walk.walk(first) || !walk.images() || !kind_matches(kind, walk, canon))
        return 0;
    return walk.end();
}

namespace {

carve_found_s measure_tiff(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    return tiff_measure(in, start, limit, tiff_kind_e::tiff);
}

} // namespace

const carve_format_s carve_tiff{"tif", {std::string_view("II*\0", 4), std::string_view("MM\0*", 4)}, 1ull << 30, measure_tiff};

} // namespace tarn
