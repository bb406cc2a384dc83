// Every language of the shipped language file, chosen as the settings choose it: the toolkit's
// own catalog answers its standard buttons, the program's catalog its fixed captions, and the
// window is laid out right to left for العربية alone.

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
    QVERIFY(load_language_file(QStringLiteral(TARN_SHIPPED_LANGUAGE_FILE), QStringLiteral("English"), false) == 0);
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
    QCOMPARE(applied.locale == QLatin1String("en"), english);

    const bool arabic = section == QStringLiteral("العربية");
    QCOMPARE(QGuiApplication::layoutDirection(), arabic ? Qt::RightToLeft : Qt::LeftToRight);
    QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.layoutDirection(), QGuiApplication::layoutDirection());

    const QString size = QCoreApplication::translate("tarn::drive_delegate_c", "Size");
    const QString number = QCoreApplication::translate("tarn::drive_delegate_c", "Number");
    const QString language = QCoreApplication::translate("tarn::QSkinWidget", "Language");
    QCOMPARE(applied.own_catalog, !english);
    QCOMPARE(size == QLatin1String("Size"), english);
    QCOMPARE(number == QLatin1String("Number"), english);
    QCOMPARE(language == QLatin1String("Language"), english);

    const QString yes = box.button(QMessageBox::Yes)->text();
    const QString no = box.button(QMessageBox::No)->text();
    if (english) {
        QVERIFY(!applied.toolkit_catalog);
        QCOMPARE(yes, QStringLiteral("&Yes"));
        return;
    }
    const QString catalog = QStringLiteral("qtbase_") + applied.locale + QStringLiteral(".qm");
    if (!QDir(QLibraryInfo::path(QLibraryInfo::TranslationsPath)).exists(catalog)) {
        QVERIFY(!applied.toolkit_catalog);
        QSKIP(qPrintable(catalog + QStringLiteral(" is not installed (Debian: qt6-translations-l10n)")));
    }
    QVERIFY(applied.toolkit_catalog);
    // "No" is "No" in Español and Italiano too; "Yes" differs in every language.
    QVERIFY2(yes != QLatin1String("&Yes") && yes != no, qPrintable(yes + '/' + no));
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
