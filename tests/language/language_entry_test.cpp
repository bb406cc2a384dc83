// The language file's entry split against the pattern it replaces, run by the standard library's
// matcher: the same entries, keys and texts for every short line over the characters that
// matter to it; long lines (which took the backtracking matcher minutes) split alike.

#include "settings/language_entry.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>

namespace tarn::test {
namespace {

TEST(language_entry, splits_every_line_as_the_pattern_does)
{
    const std::regex pattern(R"re(^\s*([^;].*)\s*=\s*"(.+)"\s*$)re", std::regex::ECMAScript);
    // Blanks of every kind, the two line breaks, the characters the pattern names, letters, and a
    // byte of UTF-8.
    const std::string alphabet = std::string(" \t\n\r\v\f;=\"ab[]\xC3", 14);
    std::mt19937 random(18);
    for (int round = 0; round < 300000; ++round) {
        std::string line(random() % 13, ' ');
        for (char& c : line)
            c = alphabet[random() % alphabet.size()];
        std::smatch match;
        const bool expected = std::regex_match(line, match, pattern);
        const auto entry = parse_language_entry(line);
        ASSERT_EQ(entry.has_value(), expected) << testing::PrintToString(line);
        if (expected) {
            EXPECT_EQ(entry->key, match.str(1)) << testing::PrintToString(line);
            EXPECT_EQ(entry->text, match.str(2)) << testing::PrintToString(line);
        }
    }
}

TEST(language_entry, long_lines_of_blanks_and_quotes)
{
    EXPECT_FALSE(parse_language_entry(std::string(2046, ' ') + "\n"));
    EXPECT_FALSE(parse_language_entry(std::string(1000, ' ') + "=\"" + std::string(1000, ' ')));
    const auto quoted = parse_language_entry("k=\"" + std::string(2040, '"') + "\n");
    ASSERT_TRUE(quoted);
    EXPECT_EQ(quoted->key, "k");
    EXPECT_EQ(quoted->text.size(), 2039u);
}

} // namespace
} // namespace tarn::test
