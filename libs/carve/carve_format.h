#pragma once
// One file format the carver knows: where it may start, how large it may be, and where it ends,
// decided from its own structure. One small file per format defines its descriptor.

#include "libs/carve/carve_reader.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace tarn {

struct carve_format_s {
    const char* extension;
    std::vector<std::string_view> headers; // byte patterns a file of this type starts with
    std::uint64_t largest;                  // default largest size, bytes
    // The size of the file that starts at start, read from its structure, at most limit; 0 when
    // the bytes there are no valid file of this type (the candidate is skipped, never emitted).
    std::uint64_t (*measure)(carve_reader_c& in, std::uint64_t start, std::uint64_t limit);
    // The extension of the file measured at start, for containers whose members tell what they
    // are (a ZIP holding a document); none means extension.
    const char* (*name)(carve_reader_c& in, std::uint64_t start, std::uint64_t size) = nullptr;
    // How far into the file the header patterns sit (a box size before its type, say).
    std::uint32_t header_at = 0;
};

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

} // namespace tarn
