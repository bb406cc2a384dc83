#include "settings/settings.h"

#include "platform/system.h"
#include "settings/language.h"

#include <QSettings>

#include <array>
#include <memory>

namespace tarn {

QString recovery_folder;
QString settings_language;

namespace {

std::unique_ptr<QSettings> settings_file;

const QString settings_file_name = QStringLiteral("TarnRecovery.ini");

// An existing settings file in the working directory or beside the program; a new one is made in
// the working directory.
QString settings_path()
{
    return data_file_path(settings_file_name);
}
const QString key_language = QStringLiteral("language");
const QString key_recovery_folder = QStringLiteral("recovery_folder");
const QString key_recent_images = QStringLiteral("recent_images");

QSettings& store()
{
    if (!settings_file)
        settings_file = std::make_unique<QSettings>(settings_path(), QSettings::IniFormat);
    return *settings_file;
}

// First-run numbers 1 to 10; Arabic has none and can only be chosen from the menu.
constexpr std::array<const char16_t*, 10> first_run_languages = {
    u"English", u"Deutsch", u"Español", u"Français", u"Italiano",
    u"日本語", u"简体中文", u"繁體中文", u"Nederlands", u"Português",
};

} // namespace

QSettings* settings_store()
{
    return settings_file.get();
}

std::optional<QString> registry_language()
{
    const QString stored = user_value(QStringLiteral("TarnRecovery_Init"), QStringLiteral("language"));
    bool ok = false;
    const int number = stored.trimmed().toInt(&ok);
    if (!ok || number < 1 || number > static_cast<int>(first_run_languages.size()))
        return std::nullopt;
    return QString::fromUtf16(first_run_languages[static_cast<std::size_t>(number - 1)]);
}

int load_settings()
{
    settings_file = std::make_unique<QSettings>(settings_path(), QSettings::IniFormat);
    recovery_folder = settings_file->value(key_recovery_folder).toString();
    settings_language = settings_file->value(key_language).toString();
    if (settings_language.isEmpty()) {
        if (const auto first_run = registry_language()) {
            settings_language = *first_run;
            settings_file->setValue(key_language, settings_language);
            settings_file->sync();
        } else {
            settings_language = QStringLiteral("English");
        }
    }
    load_language(QStringLiteral("English"), false);
    load_language(settings_language, true);
    return 0;
}

int save_settings()
{
    store().setValue(key_recovery_folder, recovery_folder);
    store().setValue(key_language, settings_language);
    store().sync();
    return 0;
}

QStringList recent_images()
{
    QStringList list = store().value(key_recent_images).toStringList();
    list.removeAll(QString());
    return list.mid(0, max_recent_images);
}

int remember_image(const QString& path)
{
    QStringList list = recent_images();
    list.removeAll(path);
    list.prepend(path);
    store().setValue(key_recent_images, list.mid(0, max_recent_images));
    store().sync();
    return 0;
}

} // namespace tarn
