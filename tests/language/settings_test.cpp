// The settings file and the first-run language from the per-user store.

#include "platform/system.h"
#include "tests/language/language_fixture.h"
#include "settings/language.h"
#include "settings/settings.h"

#include <QFileInfo>
#include <QSettings>

namespace tarn::test {
namespace {

const QByteArray language_file = "[English]\nbtn_scan=\"Scan\"\nbtn_back=\"Back\"\n"
                                 "[Deutsch]\nbtn_scan=\"Suchen\"\n";

class settings : public language_fixture {
protected:
    void SetUp() override
    {
        language_fixture::SetUp();
        recovery_folder.clear();
        settings_language.clear();
        write_file("language.ini", language_file);
    }

    static void set_first_run(const QString& value)
    {
        ASSERT_EQ(set_user_value("TarnRecovery_Init", "language", value), 0);
    }

    // Keys of the written settings file, read back by an independent reader.
    QStringList stored_keys()
    {
        QSettings file(dir_.filePath("TarnRecovery.ini"), QSettings::IniFormat);
        return file.allKeys();
    }
};

TEST_F(settings, first_run_number_chooses_language_and_writes_it_alone)
{
    set_first_run("2");
    EXPECT_EQ(load_settings(), 0);
    EXPECT_EQ(settings_language, "Deutsch");
    EXPECT_EQ(language_code(), "de");
    EXPECT_EQ(language_text("btn_scan"), "Suchen");
    EXPECT_EQ(language_text("btn_back"), "Back");
    EXPECT_EQ(stored_keys(), QStringList{"language"});
    QSettings file(dir_.filePath("TarnRecovery.ini"), QSettings::IniFormat);
    EXPECT_EQ(file.value("language").toString(), "Deutsch");
}

TEST_F(settings, no_first_run_number_means_english_and_no_file)
{
    EXPECT_EQ(load_settings(), 0);
    EXPECT_EQ(settings_language, "English");
    EXPECT_EQ(language_text("btn_scan"), "Scan");
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath("TarnRecovery.ini")));
}

TEST_F(settings, first_run_numbers_map_through_the_table)
{
    const QStringList names = {"English", "Deutsch", "Español", "Français", "Italiano",
                               "日本語", "简体中文", "繁體中文", "Nederlands", "Português"};
    for (int number = 1; number <= 10; ++number) {
        set_first_run(QString::number(number));
        EXPECT_EQ(registry_language().value_or("none"), names[number - 1]);
    }
    for (const char* value : {"0", "11", "-2", "", "two", "99999999999"}) {
        set_first_run(value);
        EXPECT_FALSE(registry_language().has_value()) << value;
    }
}

TEST_F(settings, file_language_wins_over_first_run_number)
{
    write_file("TarnRecovery.ini", "[General]\nlanguage=English\nrecovery_folder=/srv/rescue\n");
    set_first_run("2");
    load_settings();
    EXPECT_EQ(settings_language, "English");
    EXPECT_EQ(recovery_folder, "/srv/rescue");
    EXPECT_EQ(language_text("btn_scan"), "Scan");
}

TEST_F(settings, unknown_language_loads_english_and_first_section_code)
{
    write_file("TarnRecovery.ini", "[General]\nlanguage=Klingon\n");
    load_settings();
    EXPECT_EQ(settings_language, "Klingon");
    EXPECT_EQ(language_text("btn_scan"), "Scan");
    EXPECT_EQ(language_code(), "en");
}

TEST_F(settings, recovery_folder_survives_saves)
{
    write_file("TarnRecovery.ini", "[General]\nlanguage=English\nrecovery_folder=/home/ana/Gerettet äöü\n");
    load_settings();
    settings_language = "Deutsch";
    EXPECT_EQ(save_settings(), 0);
    settings_language = "日本語";
    save_settings();
    recovery_folder.clear();
    settings_language.clear();
    load_settings();
    EXPECT_EQ(recovery_folder, QString::fromUtf8("/home/ana/Gerettet äöü"));
    EXPECT_EQ(settings_language, QString::fromUtf8("日本語"));
}

TEST_F(settings, absent_recovery_folder_is_written_empty)
{
    set_first_run("2");
    load_settings();
    settings_language = "English";
    save_settings();
    EXPECT_EQ(stored_keys(), QStringList({"language", "recovery_folder"}));
    QSettings file(dir_.filePath("TarnRecovery.ini"), QSettings::IniFormat);
    EXPECT_EQ(file.value("recovery_folder").toString(), "");
    EXPECT_EQ(file.value("language").toString(), "English");
}

} // namespace
} // namespace tarn::test
