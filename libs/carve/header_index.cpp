#include "libs/carve/header_index.h"

#include <algorithm>
#include <bit>
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
// Of lanes, the passing lanes of the vector at i, the offsets before stop whose two bytes are a
// known pair.
inline std::uint32_t exact_lanes(const std::uint64_t* pairs, const unsigned char* bytes, std::size_t i, std::uint32_t lanes,
                                 std::size_t stop)
{
    std::uint32_t exact = 0;
    for (; lanes != 0; lanes &= lanes - 1) {
        const auto lane = static_cast<unsigned>(__builtin_ctz(lanes));
        const unsigned pair = bytes[i + lane] | unsigned{bytes[i + lane + 1]} << 8;
        if (i + lane < stop && (pairs[pair / 64] >> (pair % 64) & 1) != 0)
            exact |= 1u << lane;
    }
    return exact;
}

// Sixteen offsets at a time: a lane stays set when its three bytes' nibbles belong to one group
// of patterns. The lanes that pass are tested against the exact two-byte set here, so a false
// pass costs a table look-up, not another round of the vector test. All the lanes of a vector
// are handed back at once: on bytes dense with patterns each vector is tested once.
__attribute__((target("ssse3"))) pair_lanes_s next_pairs_ssse3(const nibble_tables_s& t, const std::uint64_t* pairs,
                                                                const unsigned char* bytes, std::size_t i, std::size_t stop,
                                                                std::size_t size)
{
    const __m128i low_mask = _mm_set1_epi8(0x0F);
    const std::uint8_t* const nibbles[6] = {t.first_low, t.first_high, t.second_low, t.second_high, t.third_low, t.third_high};
    __m128i tables[6];
    for (int k = 0; k < 6; ++k)
        tables[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(nibbles[k]));
    for (; i < stop && i + 18 <= size; i += 16) {
        __m128i groups = _mm_set1_epi8(-1);
        for (int k = 0; k < 3; ++k) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + k));
            groups = _mm_and_si128(groups, _mm_shuffle_epi8(tables[2 * k], _mm_and_si128(x, low_mask)));
            groups = _mm_and_si128(groups, _mm_shuffle_epi8(tables[2 * k + 1], _mm_and_si128(_mm_srli_epi16(x, 4), low_mask)));
        }
        const auto lanes = ~static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(groups, _mm_setzero_si128()))) & 0xFFFF;
        if (const std::uint32_t exact = exact_lanes(pairs, bytes, i, lanes, stop); exact != 0)
            return {i, exact, 16};
    }
    return {i, 0, 16};
}

// The same, thirty-two offsets at a time (the tables repeat in both halves of the register),
// over the whole range in one call: visit(offset) is called for every offset that passes, in
// order, and the scan ends early when it returns false. Bytes dense with patterns (one every few
// dozen bytes) would otherwise pay a call and the tables' set-up for each. Returns the offset
// the vector steps reached; the last few bytes before the block's end are left to the caller.
template <class Visit>
__attribute__((target("avx2"))) std::size_t scan_avx2(const nibble_tables_s& t, const std::uint64_t* pairs,
                                                       const unsigned char* bytes, std::size_t i, std::size_t stop,
                                                       std::size_t size, Visit& visit)
{
    const __m256i low_mask = _mm256_set1_epi8(0x0F);
    const std::uint8_t* const nibbles[6] = {t.first_low, t.first_high, t.second_low, t.second_high, t.third_low, t.third_high};
    __m256i tables[6];
    for (int k = 0; k < 6; ++k)
        tables[k] = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(nibbles[k])));
    // Zeros fill much of a disk (free space, sparse images). Where three zero bytes pass no
    // group, a run of them is passed over 64 offsets at a time.
    const bool zeros_pass = (t.first_low[0] & t.first_high[0] & t.second_low[0] & t.second_high[0] & t.third_low[0]
                             & t.third_high[0]) != 0;
    const __m256i set_low = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t.first_set_low)));
    const __m256i set_high = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t.first_set_high)));
    const __m256i bit_of = _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 4, 8, 16, 32, 64,
                                            -128, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i top_bit = _mm256_set1_epi8(-128);
    const __m256i seven = _mm256_set1_epi8(7);
    for (; i < stop && i + 34 <= size; i += 32) {
        // (The step after a skip still needs its 34 bytes.)
        while (!zeros_pass && i + 64 <= stop && i + 64 + 34 <= size) {
            const __m256i run = _mm256_or_si256(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i)),
                _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 32)),
                                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 34))));
            if (!_mm256_testz_si256(run, run))
                break;
            i += 64;
        }
        __m256i groups = _mm256_set1_epi8(-1);
        for (int k = 0; k < 3; ++k) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + k));
            groups = _mm256_and_si256(groups, _mm256_shuffle_epi8(tables[2 * k], _mm256_and_si256(x, low_mask)));
            groups = _mm256_and_si256(groups,
                                      _mm256_shuffle_epi8(tables[2 * k + 1], _mm256_and_si256(_mm256_srli_epi16(x, 4), low_mask)));
        }
        auto lanes = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(groups, _mm256_setzero_si256())));
        if (lanes != 0) {
            // Set membership of the first byte: its low nibble picks a byte of each table (the
            // shuffle gives zero where the byte's top bit says the other table), its high nibble
            // a bit of that byte.
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i));
            const __m256i rows = _mm256_or_si256(_mm256_shuffle_epi8(set_low, x),
                                                 _mm256_shuffle_epi8(set_high, _mm256_xor_si256(x, top_bit)));
            const __m256i bit = _mm256_shuffle_epi8(bit_of, _mm256_and_si256(_mm256_srli_epi16(x, 4), seven));
            lanes &= ~static_cast<std::uint32_t>(
                _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(rows, bit), _mm256_setzero_si256())));
        }
        for (std::uint32_t exact = exact_lanes(pairs, bytes, i, lanes, stop); exact != 0; exact &= exact - 1)
            if (!visit(i + static_cast<std::size_t>(std::countr_zero(exact))))
                return i;
    }
    return i;
}
#endif

// The nibbles a group of patterns allows at each of the six places (low and high nibble of the
// first three bytes), one bit per nibble value.
using nibble_sets = std::array<std::uint16_t, 6>;

void allow(nibble_sets& sets, std::string_view header)
{
    const auto first = static_cast<std::uint8_t>(header[0]);
    const auto second = static_cast<std::uint8_t>(header[1]);
    sets[0] |= static_cast<std::uint16_t>(1u << (first & 15));
    sets[1] |= static_cast<std::uint16_t>(1u << (first >> 4));
    sets[2] |= static_cast<std::uint16_t>(1u << (second & 15));
    sets[3] |= static_cast<std::uint16_t>(1u << (second >> 4));
    if (header.size() == 2) { // a two-byte pattern allows every third byte
        sets[4] = sets[5] = 0xFFFF;
        return;
    }
    const auto third = static_cast<std::uint8_t>(header[2]);
    sets[4] |= static_cast<std::uint16_t>(1u << (third & 15));
    sets[5] |= static_cast<std::uint16_t>(1u << (third >> 4));
}

// The patterns sharing a first byte share a group. Groups are chosen so that as few offsets of
// random bytes as possible pass a group's nibble test: each pass costs an exact look-up, and
// groups that mix unlike patterns allow many three-byte strings that none of them begins with.
// From a spread over the eight groups, first bytes are moved one at a time to the group where the
// expected share of passing offsets falls most, until no move lowers it.
std::vector<int> choose_groups(const std::vector<std::vector<std::string_view>>& units)
{
    const auto passing = [&units](const std::vector<int>& group_of) {
        std::array<nibble_sets, 8> groups{};
        for (std::size_t u = 0; u < units.size(); ++u)
            for (const std::string_view header : units[u])
                allow(groups[static_cast<std::size_t>(group_of[u])], header);
        double share = 0;
        for (const nibble_sets& sets : groups) {
            double product = 1;
            for (const std::uint16_t set : sets)
                product *= std::popcount(set) / 16.0;
            share += product;
        }
        return share;
    };
    std::vector<int> group_of(units.size());
    for (std::size_t u = 0; u < units.size(); ++u)
        group_of[u] = static_cast<int>(u % 8);
    double best = passing(group_of);
    for (bool moved = true; moved;) {
        moved = false;
        for (std::size_t u = 0; u < units.size(); ++u)
            for (int group = 0; group < 8; ++group) {
                const int was = group_of[u];
                group_of[u] = group;
                if (const double share = passing(group_of); share < best * (1 - 1e-9)) {
                    best = share;
                    moved = true;
                } else {
                    group_of[u] = was;
                }
            }
    }
    return group_of;
}

} // namespace

header_index_c::header_index_c(const std::vector<carve_type_s>& types)
{
    std::vector<std::vector<std::string_view>> units;
    std::array<int, 256> unit_of;
    unit_of.fill(-1);
    for (const carve_type_s& type : types) {
        if (!type.enabled)
            continue;
        if (type.format->sector_test != nullptr)
            sector_types_.push_back(&type);
        for (std::string_view header : type.format->headers) {
            if (header.size() < 2 || header.size() > longest)
                continue;
            const auto first = static_cast<std::uint8_t>(header[0]);
            (first < 0x80 ? nibbles_.first_set_low : nibbles_.first_set_high)[first & 15] |=
                static_cast<std::uint8_t>(1u << ((first >> 4) & 7));
            header_candidate_s candidate{&type, header};
            for (std::size_t k = 0; k < header.size(); ++k) {
                candidate.words[k / 8] |= std::uint64_t{static_cast<std::uint8_t>(header[k])} << (8 * (k % 8));
                candidate.masks[k / 8] |= std::uint64_t{0xFF} << (8 * (k % 8));
            }
            by_first_[first].push_back(candidate);
            const unsigned pair = first | unsigned{static_cast<std::uint8_t>(header[1])} << 8;
            pairs_[pair / 64] |= std::uint64_t{1} << (pair % 64);
            if (unit_of[first] < 0) {
                unit_of[first] = static_cast<int>(units.size());
                units.emplace_back();
            }
            units[static_cast<std::size_t>(unit_of[first])].push_back(header);
        }
    }
    const std::vector<int> group_of = choose_groups(units);
    std::uint8_t* const tables[6] = {nibbles_.first_low, nibbles_.first_high, nibbles_.second_low,
                                     nibbles_.second_high, nibbles_.third_low, nibbles_.third_high};
    for (std::size_t u = 0; u < units.size(); ++u) {
        nibble_sets sets{};
        for (const std::string_view header : units[u])
            allow(sets, header);
        const auto group = static_cast<std::uint8_t>(1u << group_of[u]);
        for (std::size_t k = 0; k < sets.size(); ++k)
            for (unsigned nibble = 0; nibble < 16; ++nibble)
                if ((sets[k] >> nibble & 1) != 0)
                    tables[k][nibble] |= group;
    }
}

pair_lanes_s header_index_c::next_pairs(std::span<const std::byte> block, std::size_t i, std::size_t stop) const
{
#ifdef TARN_NIBBLE_SEARCH
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
    if (ssse3) {
        const pair_lanes_s step = next_pairs_ssse3(nibbles_, pairs_.data(), bytes, i, stop, block.size());
        if (step.lanes != 0 || step.at >= stop)
            return step; // a lane passed, or the end: the last few bytes go the plain way
        i = step.at;
    }
#endif
    for (; i < stop; ++i)
        if (pair_known(pair_at(block, i)))
            return {i, 1, 1};
    return {stop, 0, 1};
}

bool header_index_c::starts_at(std::span<const std::byte> block, std::size_t at, const header_candidate_s& c)
{
    if (at + 16 <= block.size()) {
        std::uint64_t words[2];
        std::memcpy(words, block.data() + at, sizeof words);
        return ((words[0] ^ c.words[0]) & c.masks[0]) == 0 && ((words[1] ^ c.words[1]) & c.masks[1]) == 0;
    }
    return at + c.header.size() <= block.size() && std::memcmp(block.data() + at, c.header.data(), c.header.size()) == 0;
}

std::size_t header_index_c::find(std::span<const std::byte> block, std::size_t from, std::size_t end,
                                 std::vector<header_match_s>& out, std::size_t room) const
{
    const std::size_t stop = std::min(end, block.size() > 0 ? block.size() - 1 : 0); // a pattern needs two bytes
    std::size_t found = 0;
    std::size_t full_at = SIZE_MAX; // where the room ran out
    const auto visit = [&](std::size_t at) {
        if (found >= room) {
            full_at = at;
            return false;
        }
        for (const header_candidate_s& c : by_first_[pair_at(block, at) & 0xFF])
            if (starts_at(block, at, c)
                && (c.type->format->header_test == nullptr || c.type->format->header_test(block.subspan(at)))) {
                out.push_back({static_cast<std::uint32_t>(at), &c});
                ++found;
            }
        return true;
    };
    std::size_t i = from;
#ifdef TARN_NIBBLE_SEARCH
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2 && i < stop) {
        i = scan_avx2(nibbles_, pairs_.data(), reinterpret_cast<const unsigned char*>(block.data()), i, stop,
                      block.size(), visit);
        if (full_at != SIZE_MAX)
            return full_at;
    }
#endif
    while (i < stop) {
        const pair_lanes_s step = next_pairs(block, i, stop);
        for (std::uint32_t lanes = step.lanes; lanes != 0; lanes &= lanes - 1)
            if (!visit(step.at + static_cast<std::size_t>(std::countr_zero(lanes))))
                return full_at;
        if (step.lanes == 0)
            break;
        i = step.at + step.width;
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
