// Windows programs and libraries (PE): the DOS header's pointer to the PE signature, the COFF
// header (a known machine, a sane section count, an optional header of the size its magic implies),
// then the section table. The file ends at the furthest of the headers, every section's raw data,
// the COFF symbol table with its string table, and the signature (certificate table), which is
// placed by file offset after everything else.

#include "libs/carve/carve_format.h"

#include <algorithm>
#include <array>

namespace tarn {

namespace {

constexpr unsigned most_sections = 96;
constexpr unsigned dll_flag = 0x2000;

bool known_machine(unsigned machine)
{
    static constexpr std::array<unsigned, 9> machines{0x14C, 0x8664, 0xAA64, 0x1C0, 0x1C4, 0x200, 0xEBC, 0x5064, 0x6264};
    return std::find(machines.begin(), machines.end(), machine) != machines.end();
}

struct pe_s {
    std::uint64_t coff = 0; // the COFF header, past the signature
    unsigned characteristics = 0;
};

// The PE header of the file at start; false when it is none.
bool pe_header(carve_reader_c& in, std::uint64_t start, std::uint64_t limit, pe_s& pe)
{
    bool ok = true;
    const std::uint32_t lfanew = in.le32(start + 0x3C, ok);
    if (!ok || lfanew < 0x40 || lfanew > 0x10000 || lfanew + 24 > limit || in.le32(start + lfanew, ok) != 0x4550 || !ok)
        return false;
    pe.coff = start + lfanew + 4;
    pe.characteristics = in.le16(pe.coff + 18, ok);
    return ok && known_machine(in.le16(pe.coff, ok));
}

carve_found_s measure_pe(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    pe_s pe;
    if (!pe_header(in, start, limit, pe))
        return 0;
    bool ok = true;
    const unsigned sections = in.le16(pe.coff + 2, ok);
    const std::uint32_t symbols_at = in.le32(pe.coff + 8, ok);
    const std::uint32_t symbols = in.le32(pe.coff + 12, ok);
    const unsigned optional_size = in.le16(pe.coff + 16, ok);
    const std::uint64_t optional = pe.coff + 20;
    const unsigned magic = in.le16(optional, ok);
    const bool wide = magic == 0x20B;
    const std::uint32_t alignment = in.le32(optional + 36, ok);
    const std::uint32_t headers = in.le32(optional + 60, ok);
    const std::uint32_t directories = in.le32(optional + (wide ? 108 : 92), ok);
    if (!ok || sections == 0 || sections > most_sections || (magic != 0x10B && !wide)
        || optional_size < (wide ? 112u : 96u) + 8 * std::min<std::uint32_t>(directories, 16) || alignment < 512
        || alignment > 65536 || (alignment & (alignment - 1)) != 0 || headers > limit)
        return 0;
    std::uint64_t end = headers;
    const std::uint64_t table = optional + optional_size;
    for (unsigned i = 0; i < sections && ok; ++i) {
        const std::uint32_t size = in.le32(table + 40ull * i + 16, ok);
        const std::uint32_t at = in.le32(table + 40ull * i + 20, ok);
        if (size != 0)
            end = std::max(end, std::uint64_t{at} + size);
    }
    if (symbols_at != 0) {
        const std::uint64_t strings = std::uint64_t{symbols_at} + 18ull * symbols;
        end = std::max(end, strings + (strings + 4 <= limit ? in.le32(start + strings, ok) : 0));
    }
    if (directories > 4) { // the certificate table's entry holds a file offset
        const std::uint64_t entry = optional + (wide ? 112 : 96) + 8 * 4;
        const std::uint32_t at = in.le32(entry, ok);
        const std::uint32_t size = in.le32(entry + 4, ok);
        if (at != 0 && size != 0)
            end = std::max(end, std::uint64_t{at} + size);
    }
    return ok && end <= limit ? end : 0;
}

const char* name_pe(carve_reader_c& in, std::uint64_t start, std::uint64_t size)
{
    pe_s pe;
    return pe_header(in, start, size, pe) && (pe.characteristics & dll_flag) != 0 ? "dll" : nullptr;
}

} // namespace

const carve_format_s carve_exe{"exe", {"MZ"}, 1ull << 30, measure_pe, name_pe};

} // namespace tarn
