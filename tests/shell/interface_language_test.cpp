// Every section of the shipped language file, chosen as the settings choose it: the toolkit's
// catalog answers its standard buttons, the program's catalog its fixed captions, and only
// العربية is laid out right to left.

#include "settings/language.h"
#include "ui/interface_language.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace tarn;

class interface_language_test : public QObject {
    Q_OBJECT

private slots:
    void each_language_data();
    void each_language();
    void cleanupTestCase();
};

void interface_language_test::each_language_data()
{
    QTest::addColumn<QString>("section");
    QCOMPARE(load_language_file(QStringLiteral(TARN_SHIPPED_LANGUAGE_FILE), QStringLiteral("English"), false), 0);
    QCOMPARE(language_names.size(), 11);
    for (const QString& section : language_names)
        QTest::newRow(section.toUtf8().constData()) << section;
}

void interface_language_test::each_language()
{
    QFETCH(QString, section);
    QCOMPARE(load_language_file(QStringLiteral(TARN_SHIPPED_LANGUAGE_FILE), section, true), 0);
    const interface_language_s applied = apply_interface_language();
    const bool english = section == QLatin1String("English");
    QCOMPARE(QGuiApplication::layoutDirection(), section == QStringLiteral("العربية") ? Qt::RightToLeft : Qt::LeftToRight);
    QCOMPARE(applied.own_catalog, !english);
    QCOMPARE(QCoreApplication::translate("tarn::drive_delegate_c", "Size") == QLatin1String("Size"), english);
    QCOMPARE(QCoreApplication::translate("tarn::drive_delegate_c", "Number") == QLatin1String("Number"), english);
    QCOMPARE(QCoreApplication::translate("tarn::QSkinWidget", "Language") == QLatin1String("Language"), english);

    const QString catalog = QStringLiteral("qtbase_") + applied.locale + QStringLiteral(".qm");
    if (!english && !QDir(QLibraryInfo::path(QLibraryInfo::TranslationsPath)).exists(catalog)) {
        QVERIFY(!applied.toolkit_catalog);
        QSKIP(qPrintable(catalog + QStringLiteral(" is not installed (Debian: qt6-translations-l10n)")));
    }
    QCOMPARE(applied.toolkit_catalog, !english);
    // "No" stays "No" in Español and Italiano; "Yes" is translated everywhere.
    QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.button(QMessageBox::Yes)->text() == QLatin1String("&Yes"), english);
}

void interface_language_test::cleanupTestCase()
{
    language_names.clear();
    language_index = 0;
    apply_interface_language();
    QCOMPARE(QGuiApplication::layoutDirection(), Qt::LeftToRight);
    QCOMPARE(QCoreApplication::translate("tarn::drive_delegate_c", "Size"), QStringLiteral("Size"));
}

QTEST_MAIN(interface_language_test)
#include "interface_language_test.moc"
