#include "settings/language_entry.h"

#include <vector>

namespace tarn {

namespace {

constexpr std::size_t none = std::string_view::npos;

// What the pattern calls \s: the C locale's blanks.
bool blank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// What ends the pattern's "any character".
bool line_break(char c)
{
    return c == '\n' || c == '\r';
}

} // namespace

std::optional<language_entry_s> parse_language_entry(std::string_view line)
{
    const std::size_t n = line.size();
    // The text ends at the last character that is not blank, which must be a quote, and holds no
    // line break: its opening quote lies after the last break before the closing one.
    std::size_t close = n;
    while (close > 0 && blank(line[close - 1]))
        --close;
    if (close == 0 || line[--close] != '"')
        return std::nullopt;
    std::size_t text_floor = 0;
    for (std::size_t i = 0; i < close; ++i)
        if (line_break(line[i]))
            text_floor = i + 1;

    // after_blanks[i]: the first position at or after i that is not blank.
    std::vector<std::size_t> after_blanks(n + 1, n);
    for (std::size_t i = n; i-- > 0;)
        after_blanks[i] = blank(line[i]) ? after_blanks[i + 1] : i;
    // The opening quote when the key ends at j: blanks, "=", blanks, the quote, and at least one
    // character of text before the closing quote.
    const auto opening = [&](std::size_t j) {
        const std::size_t equals = after_blanks[j];
        if (equals >= close || line[equals] != '=')
            return none;
        const std::size_t quote = after_blanks[equals + 1];
        return quote + 2 <= close && line[quote] == '"' && quote >= text_floor ? quote : none;
    };
    // latest_end[j]: the furthest key end at or before j that an opening follows (none: none).
    std::vector<std::size_t> latest_end(n + 1, none);
    for (std::size_t j = 0; j <= n; ++j)
        latest_end[j] = opening(j) != none ? j : (j > 0 ? latest_end[j - 1] : none);
    // break_from[i]: the first line break at or after i, where the key must end at the latest.
    std::vector<std::size_t> break_from(n + 1, n);
    for (std::size_t i = n; i-- > 0;)
        break_from[i] = line_break(line[i]) ? i : break_from[i + 1];

    // The pattern's choices in its order: the most leading blanks, then the longest key. The
    // key's first character is anything but ";" (a blank too, when fewer blanks lead).
    for (std::size_t start = after_blanks[0] + 1; start-- > 0;) {
        if (start >= n || line[start] == ';')
            continue;
        const std::size_t end = latest_end[break_from[start + 1]];
        if (end == none || end <= start)
            continue;
        const std::size_t quote = opening(end);
        return language_entry_s{std::string(line.substr(start, end - start)),
                                std::string(line.substr(quote + 1, close - quote - 1))};
    }
    return std::nullopt;
}

} // namespace tarn
