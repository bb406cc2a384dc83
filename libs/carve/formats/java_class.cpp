// Java class files: the constant pool walked entry by entry (each tag's own length), then the
// fields, methods and attributes with their stated lengths; the end is exactly the last attribute's.
// Universal Mach-O binaries share the magic number; their version field fails the check.

#include "libs/carve/carve_format.h"

namespace tarn {

namespace {

constexpr unsigned oldest = 45, newest = 80;

// Past count attributes at at, each a name index and a 32-bit length; 0 when one runs past stop.
std::uint64_t skip_attributes(carve_reader_c& in, std::uint64_t at, std::uint64_t stop, unsigned count)
{
    for (unsigned i = 0; i < count; ++i) {
        bool ok = true;
        const std::uint32_t length = in.be32(at + 2, ok);
        at += 6 + std::uint64_t{length};
        if (!ok || at > stop)
            return 0;
    }
    return at;
}

// The bytes of the constant pool entry at at (its tag included), 0 for an unknown tag; wide tells
// a long or double, which take two slots.
std::uint64_t pool_entry(carve_reader_c& in, std::uint64_t at, bool& wide)
{
    bool ok = true;
    const int tag = in.byte_at(at);
    wide = tag == 5 || tag == 6;
    switch (tag) {
    case 1: {
        const unsigned length = in.be16(at + 1, ok);
        return ok ? 3 + length : 0;
    }
    case 7: case 8: case 16: case 19: case 20: return 3;
    case 15: return 4;
    case 3: case 4: case 9: case 10: case 11: case 12: case 17: case 18: return 5;
    case 5: case 6: return 9;
    default: return 0;
    }
}

carve_found_s measure_class(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    bool ok = true;
    const unsigned major = in.be16(start + 6, ok);
    const unsigned pool = in.be16(start + 8, ok);
    const std::uint64_t stop = start + limit;
    if (!ok || major < oldest || major > newest || pool == 0)
        return 0;
    std::uint64_t at = start + 10;
    for (unsigned i = 1; i < pool; ++i) {
        bool wide = false;
        const std::uint64_t bytes = pool_entry(in, at, wide);
        if (bytes == 0 || (at += bytes) > stop)
            return 0;
        i += wide ? 1 : 0;
    }
    const unsigned self = in.be16(at + 2, ok);
    const unsigned interfaces = in.be16(at + 6, ok);
    if (!ok || self == 0 || self >= pool)
        return 0;
    at += 8 + 2ull * interfaces;
    // Fields, then methods: a count, then each with three indexes and its attributes.
    for (int table = 0; table < 2 && at != 0; ++table) {
        const unsigned members = in.be16(at, ok);
        at += 2;
        for (unsigned m = 0; m < members && at != 0 && ok; ++m)
            at = skip_attributes(in, at + 8, stop, in.be16(at + 6, ok));
    }
    if (at == 0 || !ok)
        return 0;
    const std::uint64_t end = skip_attributes(in, at + 2, stop, in.be16(at, ok));
    return end == 0 || !ok ? 0 : end - start;
}

} // namespace

const carve_format_s carve_class{"class", {"\xCA\xFE\xBA\xBE"}, 64ull << 20, measure_class};

} // namespace tarn
