#include "libs/carve/header_index.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TARN_NIBBLE_SEARCH 1
#endif

namespace tarn {

namespace {

unsigned pair_at(std::span<const std::byte> block, std::size_t i)
{
    return std::to_integer<unsigned>(block[i]) | std::to_integer<unsigned>(block[i + 1]) << 8;
}

#ifdef TARN_NIBBLE_SEARCH
// Sixteen offsets at a time: a lane stays set when both of its bytes' nibbles belong to one
// group of patterns. The lanes that pass are tested against the exact two-byte set here, so a
// false pass costs a table look-up, not another round of the vector test.
__attribute__((target("ssse3"))) std::size_t next_pair_ssse3(const nibble_tables_s& t, const std::uint64_t* pairs,
                                                              const unsigned char* bytes, std::size_t i, std::size_t stop,
                                                              std::size_t size)
{
    const __m128i low_mask = _mm_set1_epi8(0x0F);
    const __m128i first_low = _mm_load_si128(reinterpret_cast<const __m128i*>(t.first_low));
    const __m128i first_high = _mm_load_si128(reinterpret_cast<const __m128i*>(t.first_high));
    const __m128i second_low = _mm_load_si128(reinterpret_cast<const __m128i*>(t.second_low));
    const __m128i second_high = _mm_load_si128(reinterpret_cast<const __m128i*>(t.second_high));
    for (; i < stop && i + 17 <= size; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 1));
        __m128i groups = _mm_and_si128(_mm_shuffle_epi8(first_low, _mm_and_si128(x, low_mask)),
                                       _mm_shuffle_epi8(first_high, _mm_and_si128(_mm_srli_epi16(x, 4), low_mask)));
        groups = _mm_and_si128(groups, _mm_shuffle_epi8(second_low, _mm_and_si128(y, low_mask)));
        groups = _mm_and_si128(groups, _mm_shuffle_epi8(second_high, _mm_and_si128(_mm_srli_epi16(y, 4), low_mask)));
        unsigned lanes = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(groups, _mm_setzero_si128()))) & 0xFFFF;
        for (; lanes != 0; lanes &= lanes - 1) {
            const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(lanes));
            const unsigned pair = bytes[at] | unsigned{bytes[at + 1]} << 8;
            if (at >= stop || (pairs[pair / 64] >> (pair % 64) & 1) != 0)
                return std::min(stop, at);
        }
    }
    return i;
}
#endif

} // namespace

header_index_c::header_index_c(const std::vector<carve_type_s>& types)
{
    std::vector<std::uint8_t> firsts; // the group of a pattern is its first byte's place here, mod 8
    for (const carve_type_s& type : types) {
        if (!type.enabled)
            continue;
        if (type.format->sector_test != nullptr)
            sector_types_.push_back(&type);
        for (std::string_view header : type.format->headers) {
            if (header.size() < 2 || header.size() > longest)
                continue;
            const auto first = static_cast<std::uint8_t>(header[0]);
            const auto second = static_cast<std::uint8_t>(header[1]);
            by_first_[first].push_back({&type, header});
            const unsigned pair = first | unsigned{second} << 8;
            pairs_[pair / 64] |= std::uint64_t{1} << (pair % 64);
            auto place = std::find(firsts.begin(), firsts.end(), first);
            if (place == firsts.end())
                place = firsts.insert(firsts.end(), first);
            const auto group = static_cast<std::uint8_t>(1u << ((place - firsts.begin()) % 8));
            nibbles_.first_low[first & 15] |= group;
            nibbles_.first_high[first >> 4] |= group;
            nibbles_.second_low[second & 15] |= group;
            nibbles_.second_high[second >> 4] |= group;
        }
    }
}

std::size_t header_index_c::next_pair(std::span<const std::byte> block, std::size_t i, std::size_t stop) const
{
#ifdef TARN_NIBBLE_SEARCH
    static const bool wide = __builtin_cpu_supports("ssse3");
    if (wide) {
        i = next_pair_ssse3(nibbles_, pairs_.data(), reinterpret_cast<const unsigned char*>(block.data()), i, stop, block.size());
        if (i >= stop || i + 17 <= block.size())
            return i; // a lane passed, or the end: the last few bytes go the plain way
    }
#endif
    for (; i < stop; ++i)
        if (pair_known(pair_at(block, i)))
            return i;
    return stop;
}

std::size_t header_index_c::find(std::span<const std::byte> block, std::size_t from, std::size_t end,
                                 std::vector<header_match_s>& out, std::size_t room) const
{
    const std::size_t stop = std::min(end, block.size() > 0 ? block.size() - 1 : 0); // a pattern needs two bytes
    std::size_t found = 0;
    for (std::size_t i = from; (i = next_pair(block, i, stop)) < stop; ++i) {
        if (!pair_known(pair_at(block, i)))
            continue;
        if (found >= room)
            return i;
        for (const header_candidate_s& c : by_first_[pair_at(block, i) & 0xFF])
            if (i + c.header.size() <= block.size() && std::memcmp(block.data() + i, c.header.data(), c.header.size()) == 0) {
                out.push_back({static_cast<std::uint32_t>(i), &c});
                ++found;
            }
    }
    return std::max(end, from);
}

void header_index_c::find_sectors(std::span<const std::byte> block, std::size_t end, std::vector<sector_match_s>& out) const
{
    if (sector_types_.empty())
        return;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(block.data());
    for (std::size_t at = 0; at < end && at + carve_sector_probe <= block.size(); at += carve_sector)
        for (const carve_type_s* type : sector_types_)
            if (type->format->sector_test(bytes + at, carve_sector_probe))
                out.push_back({static_cast<std::uint32_t>(at), type});
}

} // namespace tarn
