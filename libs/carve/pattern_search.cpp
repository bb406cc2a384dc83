#include "libs/carve/pattern_search.h"

#include <algorithm>
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

// Where the pattern stops fitting into text.
std::size_t fits_before(std::string_view text, std::string_view pattern)
{
    return text.size() >= pattern.size() ? text.size() - pattern.size() + 1 : 0;
}

// Either pattern's first place from i on (before its own last place); last when neither occurs.
std::size_t either_scalar(std::string_view text, std::string_view a, std::string_view b, std::size_t i, std::size_t last)
{
    const std::size_t last_a = fits_before(text, a);
    const std::size_t last_b = fits_before(text, b);
    const std::size_t at_a = i < last_a ? pairs_scalar(text, a, i, last_a) : last_a;
    const bool found_a = at_a < last_a;
    if (a == b) // one pattern: not searched twice
        return found_a ? at_a : last;
    const std::size_t bound_b = found_a ? std::min(last_b, at_a) : last_b; // b counts only before a
    const std::size_t at_b = i < bound_b ? pairs_scalar(text, b, i, bound_b) : bound_b;
    return std::min({last, found_a ? at_a : last, at_b < bound_b ? at_b : last});
}

#ifdef TARN_PAIR_SEARCH
// Thirty-two places at a time while both loads stay inside the text: a place passes when its two
// bytes begin a or b, and is then compared whole. last is where the shorter pattern stops fitting.
__attribute__((target("avx2"))) std::size_t pairs_avx2(std::string_view text, std::string_view a, std::string_view b,
                                                       std::size_t i, std::size_t last)
{
    const char* const bytes = text.data();
    const __m256i a0 = _mm256_set1_epi8(a[0]), a1 = _mm256_set1_epi8(a[1]);
    const __m256i b0 = _mm256_set1_epi8(b[0]), b1 = _mm256_set1_epi8(b[1]);
    for (; i + 33 <= text.size() && i < last; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 1));
        const __m256i pass = _mm256_or_si256(_mm256_and_si256(_mm256_cmpeq_epi8(x, a0), _mm256_cmpeq_epi8(y, a1)),
                                             _mm256_and_si256(_mm256_cmpeq_epi8(x, b0), _mm256_cmpeq_epi8(y, b1)));
        for (auto lanes = static_cast<std::uint32_t>(_mm256_movemask_epi8(pass)); lanes != 0; lanes &= lanes - 1) {
            const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(lanes));
            if (at >= last)
                return last;
            const std::string_view rest = text.substr(at);
            if (rest.starts_with(a) || rest.starts_with(b))
                return at;
        }
    }
    return either_scalar(text, a, b, i, last);
}
#endif

} // namespace

std::size_t find_pattern(std::string_view text, std::string_view pattern, std::size_t from)
{
    return find_either(text, pattern, pattern, from);
}

std::size_t find_either(std::string_view text, std::string_view a, std::string_view b, std::size_t from)
{
    if (a.size() < 2 || b.size() < 2)
        return std::min(text.find(a, from), text.find(b, from));
    const std::size_t shorter = std::min(a.size(), b.size());
    if (from > text.size() || text.size() - from < shorter)
        return std::string_view::npos;
    const std::size_t last = text.size() - shorter + 1;
#ifdef TARN_PAIR_SEARCH
    static const bool avx2 = __builtin_cpu_supports("avx2");
    const std::size_t at = avx2 ? pairs_avx2(text, a, b, from, last) : either_scalar(text, a, b, from, last);
#else
    const std::size_t at = either_scalar(text, a, b, from, last);
#endif
    return at == last ? std::string_view::npos : at;
}

} // namespace tarn
