#pragma once
// A ZIP archive's central directory, shared by the ZIP measure and the naming of ZIP-based files.

#include "libs/carve/carve_format.h"

namespace tarn {

constexpr std::uint32_t zip_central_sig = 0x02014B50;
constexpr std::uint64_t zip_central_bytes = 46;

// Absolute offsets of one archive's directory and end.
struct zip_directory_s {
    std::uint64_t at = 0;          // the first "PK\1\2" record
    std::uint64_t size = 0;        // bytes of directory records
    std::uint64_t entries = 0;
    std::uint64_t records_end = 0; // where the directory must end: the Zip64 end record, else the end record
    std::uint64_t end_at = 0;      // the end record
    std::uint64_t end = 0;         // the archive's end, past the end record's comment
};

// The directory of the archive measured at start with size bytes; false when there is none.
bool zip_directory(carve_reader_c& in, std::uint64_t start, std::uint64_t size, zip_directory_s& dir);

// Calls visit(record offset, name length) for each directory record; false unless the records
// are all "PK\1\2" and fill the directory exactly.
template <typename Visit>
bool zip_each_entry(carve_reader_c& in, const zip_directory_s& dir, Visit visit)
{
    if (dir.entries > dir.size / zip_central_bytes)
        return false;
    const std::uint64_t stop = dir.at + dir.size;
    std::uint64_t at = dir.at;
    for (std::uint64_t i = 0; i < dir.entries; ++i) {
        bool ok = true;
        const std::uint32_t sig = in.le32(at, ok);
        const unsigned name_length = in.le16(at + 28, ok);
        const unsigned extra_length = in.le16(at + 30, ok);
        const unsigned comment_length = in.le16(at + 32, ok);
        const std::uint64_t next = at + zip_central_bytes + name_length + extra_length + comment_length;
        if (!ok || sig != zip_central_sig || next > stop)
            return false;
        visit(at, name_length);
        at = next;
    }
    return at == stop;
}

// The archive at start whose structure broke at from, before its end record: joined across another
// file when its directory and its CRCs say so, else cut after its last sound member (partial).
carve_found_s zip_join_or_cut(carve_reader_c& in, std::uint64_t start, std::uint64_t from, std::uint64_t stop);
// Whether the archive at start joins across another file with the end record at end_at; sets found.
bool zip_joins_at(carve_reader_c& in, std::uint64_t start, std::uint64_t end_at, std::uint64_t stop, carve_found_s& found);
// The archive at start cut after its last member whose CRC matches (partial); none when the first fails.
carve_found_s zip_cut(carve_reader_c& in, std::uint64_t start, std::uint64_t stop);

// The extension a ZIP's members give it (docx, odt, jar, ...), none for a plain ZIP.
const char* name_zip(carve_reader_c& in, std::uint64_t start, std::uint64_t size);

} // namespace tarn
