#include "scan/exfat_upcase.h"

#include "platform/byte_source.h"
#include "scan/exfat_boot.h"

#include <QChar>

namespace tarn {

namespace {

void simple_mapping(std::array<char16_t, 65536>& table)
{
    for (std::size_t c = 0; c < table.size(); ++c) {
        const char32_t up = QChar::toUpper(static_cast<char32_t>(c));
        table[c] = up <= 0xFFFF ? static_cast<char16_t>(up) : static_cast<char16_t>(c);
    }
}

} // namespace

std::uint32_t exfat_table_checksum(std::span<const std::byte> bytes)
{
    std::uint32_t sum = 0;
    for (std::byte b : bytes)
        sum = exfat_sum32(sum, b);
    return sum;
}

exfat_upcase_c::exfat_upcase_c()
{
    simple_mapping(table_);
}

bool exfat_upcase_c::assign(std::span<const std::byte> bytes, std::uint32_t expected_checksum)
{
    if (exfat_table_checksum(bytes) != expected_checksum)
        return false;
    std::array<char16_t, 65536> table;
    for (std::size_t c = 0; c < table.size(); ++c)
        table[c] = static_cast<char16_t>(c);
    // 0xFFFF followed by a count: that many characters map to themselves.
    std::size_t next = 0;
    for (std::size_t at = 0; at + 1 < bytes.size() && next < table.size(); at += 2) {
        const char16_t value = load_le16(bytes, at);
        if (value == 0xFFFF && at + 3 < bytes.size()) {
            at += 2;
            next += load_le16(bytes, at);
            continue;
        }
        table[next++] = value;
    }
    if (next < 128)
        return false;
    table_ = table;
    from_volume_ = true;
    return true;
}

std::uint16_t exfat_upcase_c::name_hash(std::u16string_view name) const
{
    std::uint16_t hash = 0;
    for (char16_t c : name) {
        const char16_t up = upper(c);
        for (unsigned part : {static_cast<unsigned>(up & 0xFF), static_cast<unsigned>(up >> 8)})
            hash = static_cast<std::uint16_t>(((hash & 1) != 0 ? 0x8000u : 0) + (hash >> 1) + part);
    }
    return hash;
}

} // namespace tarn
