#pragma once
// One file format the carver knows: where it may start, how large it may be, and where it ends,
// decided from its own structure. One small file per format defines its descriptor.

#include "libs/carve/carve_reader.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tarn {

// What a measure found: the file's size, or 0 when the bytes are no valid file of the type. A file
// whose structure ends early may be cut at its last valid point (partial); a file whose data was
// found to go on after other data is joined: its first fragment is size bytes from the start, its
// second tail_size bytes at tail_at.
struct carve_found_s {
    std::uint64_t size = 0;
    bool partial = false;
    std::uint64_t tail_at = 0;
    std::uint64_t tail_size = 0;

    carve_found_s(std::uint64_t whole = 0) : size(whole) {}
    static carve_found_s cut(std::uint64_t size)
    {
        carve_found_s found(size);
        found.partial = size != 0;
        return found;
    }
    std::uint64_t total() const { return size + tail_size; }
};

struct carve_format_s {
    const char* extension;
    std::vector<std::string_view> headers; // byte patterns a file of this type starts with
    std::uint64_t largest;                  // default largest size, bytes
    // The file that starts at start, read from its structure, no further than start + limit; size 0
    // when the bytes there are no valid file of this type (the candidate is skipped, never emitted).
    carve_found_s (*measure)(carve_reader_c& in, std::uint64_t start, std::uint64_t limit);
    // The extension of the file measured at start, for containers whose members tell what they
    // are (a ZIP holding a document); none means extension.
    const char* (*name)(carve_reader_c& in, std::uint64_t start, std::uint64_t size) = nullptr;
    // How far into the file the header patterns sit (a box size before its type, say).
    std::uint32_t header_at = 0;
    // A format without header patterns (plain text) is tried at every sector start (512 bytes)
    // whose first bytes pass this test; the test must reject nearly everything else at once.
    bool (*sector_test)(const std::uint8_t* first, std::size_t length) = nullptr;
    // A look at the bytes from a pattern on (as many as the block holds) that the header search
    // makes before it hands the candidate on: false only when they prove that no file starts
    // here, so that a volume of patterns that are no files costs the search alone.
    bool (*header_test)(std::span<const std::byte> bytes) = nullptr;
};

constexpr std::size_t carve_sector = 512;
constexpr std::size_t carve_sector_probe = 32; // bytes a sector test is given

// A four-character tag (chunk, box or list type) as a big-endian 32-bit load reads it.
constexpr std::uint32_t carve_tag(const char (&t)[5])
{
    return std::uint32_t(std::uint8_t(t[0])) << 24 | std::uint32_t(std::uint8_t(t[1])) << 16
           | std::uint32_t(std::uint8_t(t[2])) << 8 | std::uint8_t(t[3]);
}

// Every built-in format, in a fixed order.
const std::vector<const carve_format_s*>& carve_formats();

extern const carve_format_s carve_jpeg;
extern const carve_format_s carve_png;
extern const carve_format_s carve_gif;
extern const carve_format_s carve_bmp;
extern const carve_format_s carve_pdf;
extern const carve_format_s carve_zip;
extern const carve_format_s carve_gzip;
extern const carve_format_s carve_sqlite;
extern const carve_format_s carve_mp3;
extern const carve_format_s carve_wav;
extern const carve_format_s carve_avi;
extern const carve_format_s carve_mp4;
extern const carve_format_s carve_mov;
extern const carve_format_s carve_elf;
extern const carve_format_s carve_tiff;
extern const carve_format_s carve_cr2;
extern const carve_format_s carve_nef;
extern const carve_format_s carve_arw;
extern const carve_format_s carve_dng;
extern const carve_format_s carve_heic;
extern const carve_format_s carve_avif;
extern const carve_format_s carve_webp;
extern const carve_format_s carve_ico;
extern const carve_format_s carve_psd;
extern const carve_format_s carve_rar;
extern const carve_format_s carve_7z;
extern const carve_format_s carve_bzip2;
extern const carve_format_s carve_xz;
extern const carve_format_s carve_tar;
extern const carve_format_s carve_ole;
extern const carve_format_s carve_rtf;
extern const carve_format_s carve_flac;
extern const carve_format_s carve_ogg;
extern const carve_format_s carve_mkv;
extern const carve_format_s carve_flv;
extern const carve_format_s carve_ts;
extern const carve_format_s carve_exe;
extern const carve_format_s carve_class;
extern const carve_format_s carve_xml;
extern const carve_format_s carve_html;
extern const carve_format_s carve_json;
extern const carve_format_s carve_txt;

} // namespace tarn
