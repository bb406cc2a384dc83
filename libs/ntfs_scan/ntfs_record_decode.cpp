#include "libs/ntfs_scan/ntfs_record_decode.h"

#include "platform/byte_source.h"

#include <array>
#include <cstring>

namespace tarn {

namespace {

constexpr std::size_t fixup_stride = 512; // the update sequence guards every 512 bytes, whatever the sector size
constexpr std::size_t largest_record = 4096;
constexpr std::uint32_t type_standard_information = 0x10, type_attribute_list = 0x20, type_file_name = 0x30,
                        type_data = 0x80, type_end = 0xFFFFFFFF;
constexpr std::uint16_t flag_in_use = 0x01, flag_directory = 0x02;
constexpr std::uint16_t data_compressed = 0x0001, data_encrypted = 0x4000;
constexpr std::uint8_t namespace_dos = 2;
constexpr std::int64_t largest_lcn = std::int64_t{1} << 60; // sums of two stay far from overflow

using record_buffer = std::array<std::byte, largest_record>;

// Copies the record out of raw and puts back the two bytes each 512-byte stride ends with; the
// stored ends must all equal the update sequence number, or the record was torn.
ntfs_decode_e undo_fixups(std::span<const std::byte> raw, record_buffer& buffer, std::uint32_t& bytes)
{
    if (raw.size() < 48 || std::memcmp(raw.data(), "FILE", 4) != 0)
        return ntfs_decode_e::no_record;
    bytes = load_le32(raw, 0x1C);
    const std::size_t usa_at = load_le16(raw, 4), usa_count = load_le16(raw, 6);
    if ((bytes != 1024 && bytes != 2048 && bytes != 4096) || bytes > raw.size() || usa_count != bytes / fixup_stride + 1
        || usa_at < 0x28 || usa_at % 2 != 0 || usa_at + 2 * usa_count > bytes)
        return ntfs_decode_e::no_record;
    std::memcpy(buffer.data(), raw.data(), bytes);
    const std::span<std::byte> record(buffer.data(), bytes);
    const std::uint16_t usn = load_le16(record, usa_at);
    for (std::size_t i = 1; i < usa_count; ++i) {
        const std::size_t end = i * fixup_stride - 2;
        if (load_le16(record, end) != usn)
            return ntfs_decode_e::bad_fixup;
        store_le16(record, end, load_le16(record, usa_at + 2 * i));
    }
    return ntfs_decode_e::ok;
}

struct attribute_s {
    std::uint32_t type = 0;
    std::span<const std::byte> bytes; // the whole attribute
    bool non_resident = false;
    bool named = false;
    std::uint16_t flags = 0;
};

// The resident value of an attribute, empty when it does not lie inside the attribute.
std::span<const std::byte> resident_value(const attribute_s& a)
{
    if (a.non_resident || a.bytes.size() < 24)
        return {};
    const std::size_t length = load_le32(a.bytes, 16), at = load_le16(a.bytes, 20);
    if (at > a.bytes.size() || length > a.bytes.size() - at)
        return {};
    return a.bytes.subspan(at, length);
}

void read_standard_information(const attribute_s& a, ntfs_decoded_record_s& out)
{
    const auto value = resident_value(a);
    if (value.size() < 32)
        return;
    out.created = ntfs_unix_time(load_le64(value, 0));
    out.modified = ntfs_unix_time(load_le64(value, 8));
    out.accessed = ntfs_unix_time(load_le64(value, 24));
}

// A DOS 8.3 alias yields to any other name; of two long names (hard links) the first stays.
void read_file_name(const attribute_s& a, ntfs_decoded_record_s& out, bool& have_long)
{
    const auto value = resident_value(a);
    if (value.size() < 66)
        return;
    const std::size_t length = std::to_integer<std::size_t>(value[64]);
    const bool dos = std::to_integer<std::uint8_t>(value[65]) == namespace_dos;
    if (length == 0 || 66 + 2 * length > value.size() || have_long || (dos && !out.name.empty()))
        return;
    out.name.resize(length);
    for (std::size_t i = 0; i < length; ++i)
        out.name[i] = static_cast<char16_t>(load_le16(value, 66 + 2 * i));
    const std::uint64_t reference = load_le64(value, 0);
    out.parent = reference & 0xFFFFFFFFFFFFull;
    out.parent_sequence = static_cast<std::uint16_t>(reference >> 48);
    out.name_size = load_le64(value, 48);
    have_long = !dos;
    if (out.created == 0 && out.modified == 0) {
        out.created = ntfs_unix_time(load_le64(value, 8));
        out.modified = ntfs_unix_time(load_le64(value, 16));
        out.accessed = ntfs_unix_time(load_le64(value, 32));
    }
}

// Allocated bytes over the clusters of a complete run list (its last VCN is the attribute's):
// a power of two from 512 bytes to 2 MiB, or 0.
std::uint64_t cluster_size_of(const std::vector<ntfs_run_s>& runs, std::uint64_t highest_vcn, std::uint64_t allocated)
{
    std::uint64_t clusters = 0;
    for (const ntfs_run_s& run : runs) {
        if (run.clusters > static_cast<std::uint64_t>(largest_lcn) - clusters)
            return 0;
        clusters += run.clusters;
    }
    if (clusters == 0 || clusters != highest_vcn + 1 || allocated % clusters != 0)
        return 0;
    const std::uint64_t size = allocated / clusters;
    return size >= 512 && size <= (2u << 20) && (size & (size - 1)) == 0 ? size : 0;
}

// The unnamed $DATA: resident bytes, or the run list of its first extent.
ntfs_decode_e read_data(const attribute_s& a, ntfs_decoded_record_s& out)
{
    if (a.named || out.has_data)
        return ntfs_decode_e::ok;
    if (!a.non_resident) {
        const auto value = resident_value(a);
        if (value.empty() && (a.bytes.size() < 24 || load_le32(a.bytes, 16) != 0))
            return ntfs_decode_e::damaged;
        out.has_data = true;
        out.resident_bytes.assign(value.begin(), value.end());
        out.data_size = out.initialized_size = value.size();
        out.resident = true;
        return ntfs_decode_e::ok;
    }
    if (a.bytes.size() < 64 || load_le64(a.bytes, 16) != 0)
        return ntfs_decode_e::ok; // a later extent: its runs continue one held elsewhere
    const std::size_t pairs_at = load_le16(a.bytes, 32);
    if (pairs_at >= a.bytes.size())
        return ntfs_decode_e::damaged;
    out.has_data = true;
    out.compressed = (a.flags & (data_compressed | data_encrypted)) != 0;
    out.data_size = load_le64(a.bytes, 48);
    out.initialized_size = std::min(load_le64(a.bytes, 56), out.data_size);
    if (!ntfs_decode_runs(a.bytes.subspan(pairs_at), out.runs))
        return ntfs_decode_e::damaged;
    out.cluster_bytes = cluster_size_of(out.runs, load_le64(a.bytes, 24), load_le64(a.bytes, 40));
    return ntfs_decode_e::ok;
}

ntfs_decode_e read_attributes(std::span<const std::byte> record, std::size_t at, ntfs_decoded_record_s& out)
{
    bool have_long = false;
    ntfs_decode_e result = ntfs_decode_e::ok;
    // Each attribute is at least 16 bytes long, so the walk ends within the record; the end
    // marker is the only thing shorter.
    while (at + 8 <= record.size()) {
        attribute_s a;
        a.type = load_le32(record, at);
        if (a.type == type_end)
            return result;
        const std::size_t length = load_le32(record, at + 4);
        if (length < 16 || length % 8 != 0 || length > record.size() - at)
            return ntfs_decode_e::damaged;
        a.bytes = record.subspan(at, length);
        a.non_resident = a.bytes[8] != std::byte{0};
        a.named = a.bytes[9] != std::byte{0};
        a.flags = load_le16(a.bytes, 12);
        if (a.type == type_standard_information)
            read_standard_information(a, out);
        else if (a.type == type_file_name)
            read_file_name(a, out, have_long);
        else if (a.type == type_attribute_list)
            out.attribute_list = true;
        else if (a.type == type_data && read_data(a, out) != ntfs_decode_e::ok)
            result = ntfs_decode_e::damaged;
        at += length;
    }
    return ntfs_decode_e::damaged; // no end marker
}

// A field of up to 8 little-endian bytes, sign-extended when asked.
std::int64_t load_field(std::span<const std::byte> b, std::size_t at, std::size_t size, bool is_signed)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value |= std::uint64_t{std::to_integer<std::uint8_t>(b[at + i])} << (8 * i);
    if (is_signed && size < 8 && (value >> (8 * size - 1)) & 1)
        value |= ~std::uint64_t{0} << (8 * size);
    return static_cast<std::int64_t>(value);
}

} // namespace

std::int64_t ntfs_unix_time(std::uint64_t ntfs_time)
{
    constexpr std::int64_t seconds_1601_to_1970 = 11644473600;
    return ntfs_time == 0 ? 0 : static_cast<std::int64_t>(ntfs_time / 10000000) - seconds_1601_to_1970;
}

bool ntfs_decode_runs(std::span<const std::byte> pairs, std::vector<ntfs_run_s>& runs)
{
    std::int64_t lcn = 0;
    std::size_t at = 0;
    while (at < pairs.size()) {
        const auto header = std::to_integer<std::uint8_t>(pairs[at]);
        if (header == 0)
            return true;
        const std::size_t length_size = header & 0x0F, offset_size = header >> 4;
        if (length_size == 0 || length_size > 8 || offset_size > 8 || at + 1 + length_size + offset_size > pairs.size())
            return false;
        const std::int64_t clusters = load_field(pairs, at + 1, length_size, false);
        if (clusters <= 0 || clusters > largest_lcn)
            return false;
        ntfs_run_s run{-1, static_cast<std::uint64_t>(clusters)};
        if (offset_size != 0) {
            const std::int64_t delta = load_field(pairs, at + 1 + length_size, offset_size, true);
            if (delta > largest_lcn || delta < -largest_lcn || lcn + delta < 0 || lcn + delta > largest_lcn)
                return false;
            lcn += delta;
            run.lcn = lcn;
        }
        runs.push_back(run);
        at += 1 + length_size + offset_size;
    }
    return false; // no terminating zero
}

ntfs_decode_e ntfs_decode_record(std::span<const std::byte> raw, ntfs_decoded_record_s& out)
{
    out = {};
    record_buffer buffer;
    std::uint32_t bytes = 0;
    if (const ntfs_decode_e fixed = undo_fixups(raw, buffer, bytes); fixed != ntfs_decode_e::ok)
        return fixed;
    const std::span<const std::byte> record(buffer.data(), bytes);
    out.record_bytes = bytes;
    out.sequence = load_le16(record, 0x10);
    const std::uint16_t flags = load_le16(record, 0x16);
    out.in_use = flags & flag_in_use;
    out.directory = flags & flag_directory;
    out.base_record = load_le64(record, 0x20) & 0xFFFFFFFFFFFFull;
    // NTFS 3.1 moved the update sequence to 0x30 to make room for the record's own number at 0x2C.
    out.has_number = load_le16(record, 4) >= 0x30;
    if (out.has_number)
        out.number = load_le32(record, 0x2C);
    const std::size_t first = load_le16(record, 0x14);
    const std::size_t used = std::min<std::size_t>(load_le32(record, 0x18), bytes);
    if (first < 0x2A || first >= used || first % 8 != 0)
        return ntfs_decode_e::damaged;
    return read_attributes(record.first(used), first, out);
}

} // namespace tarn
