#pragma once
// Files found in two fragments. When a file's structure breaks where another whole file starts
// on a sector, the file may go on after that file: at its end, or at one of the sectors of its
// last cluster's slack. A format that can check its data across the gap (a CRC, a decode that
// must come out exactly) tries those places; what cannot be checked is cut where the other file
// starts and reported partial.

#include "libs/carve/carve_format.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <vector>

namespace tarn {

// A file laid out in two pieces: its bytes before split, then the rest from resume on. Offsets
// are the file's as if it were whole (the first piece's volume offsets, continued).
struct split_layout_s {
    std::uint64_t split = UINT64_MAX;
    std::uint64_t resume = UINT64_MAX;

    std::uint64_t place(std::uint64_t at) const { return at < split ? at : at - split + resume; }
    bool read(carve_reader_c& in, std::uint64_t at, std::span<std::byte> out) const;
    bool crc32(carve_reader_c& in, std::uint64_t at, std::uint64_t length, std::uint32_t& crc) const;
};

struct foreign_s {
    std::uint64_t at = 0;  // where the other file starts
    std::uint64_t end = 0; // where it ends
};

// The first whole file of an enabled type that starts on a sector after from and before to (and
// ends before stop); false when there is none, or outside a scan, or while another file is being
// measured for such a look already.
bool foreign_file(carve_reader_c& in, std::uint64_t from, std::uint64_t to, std::uint64_t stop, foreign_s& found);

// The first whole file of an enabled type that starts after from and before to on one of the
// bytes in openers (and ends before stop); false as above.
bool file_opened_by(carve_reader_c& in, std::uint64_t from, std::uint64_t to, std::uint64_t stop, std::string_view openers,
                    foreign_s& found);

// The places a fragment may go on after a file that ends at end: that end and each sector start
// within 64 KiB after it, before stop; the most aligned first, as file systems give out clusters
// of 4 KiB and more.
std::vector<std::uint64_t> resume_places(std::uint64_t end, std::uint64_t stop);

// Calls place(at) for each of the resume places until it returns true; whether one did.
template <typename Place>
bool each_resume(std::uint64_t end, std::uint64_t stop, Place place)
{
    const std::vector<std::uint64_t> places = resume_places(end, stop);
    return std::any_of(places.begin(), places.end(), place);
}

struct carve_piece_s {
    std::uint64_t at;
    std::uint64_t size;
};

// The pieces of the joined file reported at offset with size, found again by measuring the
// enabled types whose patterns lie there; none when no type joins a file of that size there any
// more (the volume or the type list changed since the scan).
std::vector<carve_piece_s> carve_pieces(carve_reader_c& in, std::uint64_t offset, std::uint64_t size);

} // namespace tarn
