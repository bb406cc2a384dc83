#include "ui/interface_language.h"

#include "settings/language.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

namespace tarn {

namespace {

// Owned by the application object, so that they go with it; a later call deletes them, which
// also takes them out of the application.
QPointer<QTranslator> toolkit_translator;
QPointer<QTranslator> own_translator;

bool install(QPointer<QTranslator>& slot, const QString& file, const QString& folder)
{
    delete slot.data();
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(file, folder) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    slot = translator;
    return true;
}

} // namespace

interface_language_s apply_interface_language()
{
    interface_language_s result;
    result.locale = language_locale();
    QGuiApplication::setLayoutDirection(QLocale(result.locale).textDirection());
    // English is the language of the sources and of the toolkit's own texts.
    if (result.locale == QLatin1String("en")) {
        delete toolkit_translator.data();
        delete own_translator.data();
        return result;
    }
    const QString toolkit_folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QString toolkit_file = QStringLiteral("qtbase_") + result.locale;
    result.toolkit_catalog = install(toolkit_translator, toolkit_file, toolkit_folder);
    if (!result.toolkit_catalog)
        qWarning("The toolkit's catalog %s.qm is not in %s: its dialogs and buttons stay in English.",
                 qPrintable(toolkit_file), qPrintable(toolkit_folder));
    const QString own_file = QStringLiteral("tarnrecovery_") + result.locale;
    result.own_catalog = install(own_translator, own_file, QStringLiteral(":/i18n"));
    if (!result.own_catalog)
        qWarning("The program's catalog %s.qm is missing: its fixed captions stay in English.",
                 qPrintable(own_file));
    return result;
}

} // namespace tarn
