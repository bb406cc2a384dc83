// The language file loader: sections, entries, escapes and the odd lines real files contain.

#include "tests/language/language_fixture.h"
#include "settings/language.h"

#include <string>

namespace tarn::test {
namespace {

using language_loader = language_fixture;

const QByteArray two_languages = "[English]\n"
                                 "btn_scan=\"Scan\"\n"
                                 "btn_back=\"Back\"\n"
                                 "[Deutsch]\n"
                                 "btn_scan=\"Suchen\"\n";

TEST_F(language_loader, chosen_section_overlays_the_english_base)
{
    write_file("language.ini", two_languages);
    EXPECT_EQ(load_language("English", false), 0);
    EXPECT_EQ(load_language("Deutsch", true), 0);
    EXPECT_EQ(language_index, 1);
    EXPECT_EQ(language_code(), "de");
    EXPECT_EQ(language_text("btn_scan"), "Suchen");
    EXPECT_EQ(language_text("btn_back"), "Back");
    EXPECT_EQ(language_names, QStringList({"English", "Deutsch"}));
}

TEST_F(language_loader, missing_section_keeps_base_and_index)
{
    write_file("language.ini", two_languages);
    load_language("English", false);
    language_index = 1;
    EXPECT_EQ(load_language("Klingon", true), 0);
    EXPECT_EQ(language_index, 1);
    EXPECT_EQ(language_text("btn_scan"), "Scan");
}

TEST_F(language_loader, section_match_is_exact_but_code_is_case_insensitive)
{
    write_file("language.ini", two_languages);
    load_language("English", false);
    load_language("deutsch", true);
    EXPECT_EQ(language_index, 0);
    EXPECT_EQ(language_text("btn_scan"), "Scan");

    write_file("language.ini", "[English]\n[deutsch]\n[FRANÇAIS]\n");
    load_language("deutsch", true);
    EXPECT_EQ(language_code(), "de");
    load_language("FRANÇAIS", true);
    EXPECT_EQ(language_code(), "fr");
}

TEST_F(language_loader, every_native_name_maps_to_its_code)
{
    write_file("language.ini", "[English]\n[Deutsch]\n[Español]\n[Français]\n[Italiano]\n[日本語]\n"
                               "[简体中文]\n[繁體中文]\n[Nederlands]\n[Português]\n[العربية]\n[Klingon]\n");
    const QStringList codes = {"en", "de", "es", "fr", "it", "jp", "cn", "hk", "nl", "pt", "ar", "en"};
    ASSERT_EQ(load_language("none", false), 0);
    ASSERT_EQ(language_names.size(), codes.size());
    for (int i = 0; i < codes.size(); ++i) {
        language_index = i;
        EXPECT_EQ(language_code(), codes[i]) << language_names[i].toStdString();
    }
}

TEST_F(language_loader, no_file_changes_nothing_and_maps_to_english)
{
    EXPECT_EQ(load_language("English", false), -1);
    EXPECT_EQ(load_language("Deutsch", true), -1);
    EXPECT_TRUE(language_table.empty());
    EXPECT_TRUE(language_names.isEmpty());
    EXPECT_EQ(language_code(), "en");
    EXPECT_TRUE(language_text("btn_scan").isEmpty());
    // The lookup of a missing key adds it with an empty text.
    EXPECT_EQ(language_table.count("btn_scan"), 1u);
}

TEST_F(language_loader, stale_index_beyond_the_names_maps_to_english)
{
    write_file("language.ini", two_languages);
    load_language("English", false);
    language_index = 7;
    EXPECT_EQ(language_code(), "en");
    language_index = -1;
    EXPECT_EQ(language_code(), "en");
}

TEST_F(language_loader, escapes_become_tab_and_line_feed_once)
{
    write_file("language.ini", "[English]\n"
                               "a=\"one\\ttwo\\nthree\"\n"
                               "b=\"\\\\n\"\n"
                               "c=\"\\\\tn\"\n"
                               "d=\"back\\slash\"\n");
    load_language("English", false);
    EXPECT_EQ(language_text("a"), "one\ttwo\nthree");
    // The first backslash stays; the second starts the escape.
    EXPECT_EQ(language_text("b"), "\\\n");
    // The tab inserted first is not rescanned into a line feed.
    EXPECT_EQ(language_text("c"), "\\\tn");
    EXPECT_EQ(language_text("d"), "back\\slash");
}

TEST_F(language_loader, blank_before_equals_belongs_to_the_key)
{
    write_file("language.ini", "[English]\nbtn_scan =\"Scan\"\n");
    load_language("English", false);
    EXPECT_TRUE(language_text("btn_scan").isEmpty());
    EXPECT_EQ(language_text("btn_scan "), "Scan");
}

TEST_F(language_loader, semicolon_lines)
{
    write_file("language.ini", "[English]\n"
                               ";btn_scan=\"Commented\"\n"
                               "  ;btn_back=\"Indented\"\n"
                               "\t;btn_stop=no quotes\n");
    load_language("English", false);
    EXPECT_EQ(language_table.count(";btn_scan"), 0u);
    EXPECT_TRUE(language_text("btn_scan").isEmpty());
    // The leading blanks give one back to the key, which then starts with blank and semicolon.
    EXPECT_EQ(language_text(" ;btn_back"), "Indented");
    EXPECT_TRUE(language_text("btn_back").isEmpty());
    EXPECT_EQ(language_table.count("\t;btn_stop"), 0u);
}

TEST_F(language_loader, repeated_section_right_after_does_not_reopen_it)
{
    write_file("language.ini", "[English]\nx=\"1\"\n[English]\ny=\"2\"\n[Deutsch]\n[English]\nz=\"3\"\n");
    load_language("English", true);
    EXPECT_EQ(language_text("x"), "1");
    EXPECT_TRUE(language_text("y").isEmpty());
    // Further down, after another section, the name opens it again; the index is the latest.
    EXPECT_EQ(language_text("z"), "3");
    EXPECT_EQ(language_index, 3);
    EXPECT_EQ(language_names.size(), 4);
}

TEST_F(language_loader, value_capture_is_greedy)
{
    write_file("language.ini", "[English]\n"
                               "q=\"say \"hi\" to \"there\"  \n"
                               "eq=\"a=b\"\n"
                               "k=\"x\" =\"y\"\n");
    load_language("English", false);
    EXPECT_EQ(language_text("q"), "say \"hi\" to \"there");
    EXPECT_EQ(language_text("eq"), "a=b");
    // The key runs to the last "=" that a quoted value follows.
    EXPECT_EQ(language_text("k=\"x\" "), "y");
}

TEST_F(language_loader, lines_outside_the_section_and_malformed_lines_are_ignored)
{
    write_file("language.ini", "before=\"x\"\n"
                               "[English]\n"
                               "empty=\"\"\n"
                               "noquotes=text\n"
                               "[half\n"
                               "ok=\"yes\"\n");
    load_language("English", false);
    EXPECT_EQ(language_table.count("before"), 0u);
    EXPECT_EQ(language_table.count("empty"), 0u);
    EXPECT_EQ(language_table.count("noquotes"), 0u);
    EXPECT_EQ(language_text("ok"), "yes");
}

TEST_F(language_loader, crlf_lines_and_utf8_texts)
{
    write_file("language.ini", "[English]\r\nbtn_scan=\"Scan\"\r\n[日本語]\r\nbtn_scan=\"スキャン\"\r\n");
    load_language("English", false);
    load_language("日本語", true);
    EXPECT_EQ(language_text("btn_scan"), QString::fromUtf8("スキャン"));
    EXPECT_EQ(language_code(), "jp");
}

TEST_F(language_loader, long_line_is_read_as_several_lines)
{
    // 2047 bytes fill the buffer, so the remainder is taken as a line of its own.
    const std::string filler(2047 - 12, 'x');
    QByteArray file = "[English]\n";
    file += "k=\"" + QByteArray::fromStdString(filler) + "\"";  // 2035 + 4 bytes
    file += "12345678";                                         // bytes 2040..2047 of the line
    file += "n2=\"tail\"\n";
    file += "after=\"ok\"\n";
    write_file("language.ini", file);
    load_language("English", false);
    EXPECT_EQ(language_table.count("k"), 0u);
    EXPECT_EQ(language_text("n2"), "tail");
    EXPECT_EQ(language_text("after"), "ok");

    // A line of exactly 2046 bytes plus its line feed still fits.
    const std::string value(2046 - 4, 'v');
    write_file("language.ini", "[English]\nk=\"" + QByteArray::fromStdString(value) + "\"\n");
    load_language("English", false);
    EXPECT_EQ(language_text("k").size(), static_cast<qsizetype>(value.size()));
}

TEST_F(language_loader, hostile_bytes_do_not_crash)
{
    QByteArray noise;
    for (int i = 0; i < 20000; ++i)
        noise.append(static_cast<char>((i * 7919 + 13) % 256));
    QByteArray quotes = "[English]\n";
    for (int line = 0; line < 4; ++line)
        quotes += QByteArray(2200, '"') + QByteArray(1000, '=') + "\n";
    quotes += "k=\"" + QByteArray(1000, '=') + QByteArray(1000, '"') + "\"\n";
    quotes += QByteArray("z\0=\"zero\"\n", 10);
    for (const QByteArray& bytes : {noise, quotes}) {
        write_file("language.ini", bytes);
        EXPECT_EQ(load_language("English", true), 0);
    }
    EXPECT_EQ(language_table.count("z"), 0u);
}

} // namespace
} // namespace tarn::test
