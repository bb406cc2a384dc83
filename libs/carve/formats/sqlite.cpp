// SQLite: page size times page count, both from the database header. The page count is trusted
// only when the header says it is current (its "version valid for" equals the change counter);
// older writers left it stale, and such a file is given up rather than cut at a guessed size.

#include "libs/carve/carve_format.h"

namespace tarn {

namespace {

carve_found_s measure_sqlite(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    bool ok = true;
    const std::uint32_t stored_page = in.be16(start + 16, ok);
    const int write_version = in.byte_at(start + 18);
    const int read_version = in.byte_at(start + 19);
    const int reserved = in.byte_at(start + 20);
    // The payload fractions were fixed at 64, 32 and 32 from the start.
    const int max_fraction = in.byte_at(start + 21);
    const int min_fraction = in.byte_at(start + 22);
    const int leaf_fraction = in.byte_at(start + 23);
    const std::uint32_t changes = in.be32(start + 24, ok);
    const std::uint32_t pages = in.be32(start + 28, ok);
    const std::uint32_t valid_for = in.be32(start + 92, ok);
    // Page 1 holds the schema table: a table b-tree page, leaf or interior.
    const int schema_page = in.byte_at(start + 100);
    const std::uint32_t page = stored_page == 1 ? 65536 : stored_page;
    if (!ok || page < 512 || page > 65536 || (page & (page - 1)) != 0)
        return 0;
    if (write_version < 1 || write_version > 2 || read_version < 1 || read_version > 2 || reserved < 0
        || static_cast<std::uint32_t>(reserved) > page - 480)
        return 0;
    if (max_fraction != 64 || min_fraction != 32 || leaf_fraction != 32 || (schema_page != 0x0D && schema_page != 0x05))
        return 0;
    if (valid_for != changes || pages == 0)
        return 0;
    const std::uint64_t size = std::uint64_t{page} * pages;
    return size <= limit ? size : 0;
}

} // namespace

const carve_format_s carve_sqlite{"sqlite", {std::string_view("SQLite format 3\0", 16)}, 16ull << 30, measure_sqlite};

} // namespace tarn
