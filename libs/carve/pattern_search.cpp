#include "libs/carve/pattern_search.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TARN_PAIR_SEARCH 1
#endif

namespace tarn {

namespace {

// The first place at or after i (and before last, where a pattern still fits) whose first two
// bytes are the pattern's and whose rest matches too; last when none.
std::size_t pairs_scalar(std::string_view text, std::string_view pattern, std::size_t i, std::size_t last)
{
    const char* const bytes = text.data();
    while (i < last) {
        const auto* p = static_cast<const char*>(std::memchr(bytes + i, pattern[0], last - i));
        if (p == nullptr)
            return last;
        i = static_cast<std::size_t>(p - bytes);
        if (std::memcmp(p + 1, pattern.data() + 1, pattern.size() - 1) == 0)
            return i;
        ++i;
    }
    return last;
}

#ifdef TARN_PAIR_SEARCH
__attribute__((target("avx2"))) std::size_t pairs_avx2(std::string_view text, std::string_view pattern, std::size_t i,
                                                       std::size_t last)
{
    const char* const bytes = text.data();
    const __m256i first = _mm256_set1_epi8(pattern[0]);
    const __m256i second = _mm256_set1_epi8(pattern[1]);
    // Thirty-two places at a time while both loads stay inside the text.
    for (; i + 33 <= text.size() && i < last; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 1));
        auto lanes = static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, second))));
        for (; lanes != 0; lanes &= lanes - 1) {
            const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(lanes));
            if (at >= last)
                return last;
            if (std::memcmp(bytes + at + 2, pattern.data() + 2, pattern.size() - 2) == 0)
                return at;
        }
    }
    return pairs_scalar(text, pattern, i, last);
}
#endif

} // namespace

std::size_t find_pattern(std::string_view text, std::string_view pattern, std::size_t from)
{
    if (pattern.size() < 2)
        return text.find(pattern, from);
    if (from > text.size() || text.size() - from < pattern.size())
        return std::string_view::npos;
    const std::size_t last = text.size() - pattern.size() + 1;
#ifdef TARN_PAIR_SEARCH
    static const bool avx2 = __builtin_cpu_supports("avx2");
    const std::size_t at = avx2 ? pairs_avx2(text, pattern, from, last) : pairs_scalar(text, pattern, from, last);
#else
    const std::size_t at = pairs_scalar(text, pattern, from, last);
#endif
    return at == last ? std::string_view::npos : at;
}

} // namespace tarn
