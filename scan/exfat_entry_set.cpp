#include "scan/exfat_entry_set.h"

#include "platform/byte_source.h"
#include "scan/exfat_time.h"

#include <algorithm>

namespace tarn {

namespace {

constexpr std::size_t name_chars_per_entry = 15;

std::uint8_t byte_at(std::span<const std::byte> b, std::size_t at)
{
    return std::to_integer<std::uint8_t>(b[at]);
}

// The kind of an entry regardless of its in-use bit.
std::uint8_t kind(std::span<const std::byte> entries, std::size_t index)
{
    return byte_at(entries, index * exfat_entry_bytes) & static_cast<std::uint8_t>(~exfat_entry_in_use);
}

// How many secondary entries follow the file entry with the in-use state it has, up to its count.
std::size_t secondaries_present(std::span<const std::byte> entries, std::size_t count, bool in_use)
{
    std::size_t present = 0;
    while (present < count && (present + 2) * exfat_entry_bytes <= entries.size()) {
        const std::uint8_t type = byte_at(entries, (present + 1) * exfat_entry_bytes);
        if (((type & exfat_entry_in_use) != 0) != in_use || (type & exfat_entry_secondary) == 0)
            break;
        ++present;
    }
    return present;
}

void read_file_entry(std::span<const std::byte> e, exfat_file_set_s& out)
{
    out.attributes = load_le16(e, 4);
    out.created = exfat_time_to_unix(load_le32(e, 8), byte_at(e, 20), byte_at(e, 22));
    out.modified = exfat_time_to_unix(load_le32(e, 12), byte_at(e, 21), byte_at(e, 23));
    out.accessed = exfat_time_to_unix(load_le32(e, 16), 0, byte_at(e, 24));
}

// The name entries after the stream extension (index 2 on), for as many characters as the name
// has and as many such entries as are present.
void read_name(std::span<const std::byte> entries, std::size_t present, std::size_t length, std::u16string& name)
{
    const std::uint8_t name_kind = exfat_entry_name & static_cast<std::uint8_t>(~exfat_entry_in_use);
    for (std::size_t index = 2; index <= present && name.size() < length && kind(entries, index) == name_kind; ++index)
        for (std::size_t i = 0; i < name_chars_per_entry && name.size() < length; ++i)
            name.push_back(static_cast<char16_t>(load_le16(entries, index * exfat_entry_bytes + 2 + 2 * i)));
}

} // namespace

std::uint16_t exfat_set_checksum(std::span<const std::byte> set, bool as_in_use)
{
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (i == 2 || i == 3)
            continue;
        std::uint8_t b = byte_at(set, i);
        if (as_in_use && i % exfat_entry_bytes == 0)
            b |= exfat_entry_in_use;
        sum = static_cast<std::uint16_t>(((sum & 1) != 0 ? 0x8000u : 0) + (sum >> 1) + b);
    }
    return sum;
}

exfat_set_e read_exfat_file_set(std::span<const std::byte> entries, const exfat_upcase_c& upcase, exfat_file_set_s& out)
{
    out = {};
    if (entries.size() < exfat_entry_bytes)
        return exfat_set_e::none;
    const std::uint8_t type = byte_at(entries, 0);
    out.deleted = (type & exfat_entry_in_use) == 0;
    const std::size_t count = byte_at(entries, 1);
    const std::size_t present = secondaries_present(entries, count, !out.deleted);
    out.entries = 1 + present;
    const std::uint8_t stream_kind = exfat_entry_stream & static_cast<std::uint8_t>(~exfat_entry_in_use);
    if (present == 0 || kind(entries, 1) != stream_kind)
        return exfat_set_e::none;
    read_file_entry(entries.first(exfat_entry_bytes), out);
    const std::span<const std::byte> stream = entries.subspan(exfat_entry_bytes, exfat_entry_bytes);
    out.stream_flags = byte_at(stream, 1);
    const std::size_t name_length = byte_at(stream, 3);
    out.data_length = load_le64(stream, 24);
    out.valid_length = std::min(load_le64(stream, 8), out.data_length);
    out.first_cluster = load_le32(stream, 20);
    read_name(entries, present, name_length, out.name);
    out.name_whole = name_length != 0 && out.name.size() == name_length && upcase.name_hash(out.name) == load_le16(stream, 4);
    // A set needs its stream extension and at least one name entry.
    out.checksum_ok = count >= 2 && present == count
                      && exfat_set_checksum(entries.first((count + 1) * exfat_entry_bytes), out.deleted) == load_le16(entries, 2);
    return out.sound() ? exfat_set_e::whole : exfat_set_e::partial;
}

} // namespace tarn
