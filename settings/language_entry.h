#pragma once
// One entry line of the language file, key="text", split in time proportional to its length.
// The split is exactly the one of the pattern ^\s*([^;].*)\s*=\s*"(.+)"\s*$ (ECMAScript, the C
// locale's blanks, "." stopping at line breaks), which a backtracking matcher took minutes to
// refuse on a long line of blanks.

#include <optional>
#include <string>
#include <string_view>

namespace tarn {

struct language_entry_s {
    std::string key;  // as written, with any blanks before the "="
    std::string text; // between the quote after "=" and the line's last quote
};

// Nothing when the line is no entry.
std::optional<language_entry_s> parse_language_entry(std::string_view line);

} // namespace tarn
