// The language file that ships with the program, read from beside the built executables.

#include "tests/language/language_fixture.h"
#include "settings/language.h"
#include "settings/language_keys.h"

#include <QFileInfo>

#include <algorithm>
#include <set>

namespace tarn::test {
namespace {

const QString shipped_file = QStringLiteral(TARN_SHIPPED_LANGUAGE_FILE);

struct section_code {
    const char* name;
    const char* code;
};

// The order of the sections is also the order of the language menu, reversed.
const section_code sections[] = {
    {"English", "en"}, {"Deutsch", "de"}, {"Español", "es"}, {"Français", "fr"},
    {"Italiano", "it"}, {"日本語", "jp"}, {"简体中文", "cn"}, {"繁體中文", "hk"},
    {"Nederlands", "nl"}, {"Português", "pt"}, {"العربية", "ar"},
};

using shipped_language = language_fixture;

TEST_F(shipped_language, sections_in_order_with_their_codes)
{
    ASSERT_TRUE(QFileInfo::exists(shipped_file)) << shipped_file.toStdString();
    ASSERT_EQ(load_language_file(shipped_file, "English", true), 0);
    ASSERT_EQ(language_names.size(), static_cast<qsizetype>(std::size(sections)));
    for (int i = 0; i < language_names.size(); ++i) {
        EXPECT_EQ(language_names[i], QString::fromUtf8(sections[i].name));
        load_language_file(shipped_file, language_names[i], true);
        EXPECT_EQ(language_index, i);
        EXPECT_EQ(language_code(), sections[i].code) << sections[i].name;
    }
}

TEST_F(shipped_language, every_section_has_every_key_and_nothing_else)
{
    const std::set<std::string> known(language_keys.begin(), language_keys.end());
    for (const auto& section : sections) {
        // Each section alone, without the English base, so a missing key shows as missing.
        language_table.clear();
        ASSERT_EQ(load_language_file(shipped_file, QString::fromUtf8(section.name), true), 0);
        for (const auto& key : language_keys) {
            const auto found = language_table.find(key);
            ASSERT_NE(found, language_table.end()) << section.name << ": " << key;
            EXPECT_FALSE(found->second.trimmed().isEmpty()) << section.name << ": " << key;
        }
        for (const auto& [key, text] : language_table)
            EXPECT_TRUE(known.count(key)) << section.name << ": unknown key " << key;
    }
}

TEST_F(shipped_language, copy_beside_the_executables_matches_the_source)
{
    const QString copy = QStringLiteral(TARN_APP_DIR "/language.ini");
    QFile source(shipped_file);
    QFile beside(copy);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    ASSERT_TRUE(beside.open(QIODevice::ReadOnly)) << copy.toStdString();
    EXPECT_EQ(source.readAll(), beside.readAll());
}

} // namespace
} // namespace tarn::test
