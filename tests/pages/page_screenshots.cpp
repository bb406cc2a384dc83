// Photographs the volume page, the recovery page (tree, file table, picture preview), a recovery
// in progress and its summary, and the drive page after the window was maximized and restored,
// of a volume made by mkfs.fat and mtools; then the search for lost files on that volume
// formatted again. Run under a virtual X server by
// scripts/screenshots-pages:
//   page_screenshots LANGUAGE_FILE SECTION OUT_DIR

#include "disk/drive_enumeration.h"
#include "recovery/recovery_window.h"
#include "tests/pages/page_driver.h"
#include "settings/language.h"
#include "tests/pages/pages_fixture.h"
#include "ui/interface_language.h"
#include "ui/main_window.h"
#include "widgets/warning_box.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <mutex>

using namespace tarn;

namespace {

bool shoot_screen(const QString& file)
{
    QTest::qWait(500);
    return QGuiApplication::primaryScreen()->grabWindow(0).save(file);
}

bool shoot_window(test::page_driver& driver, const QString& file)
{
    QTest::qWait(500);
    return driver.window().grab().save(file);
}

// Three files ticked and recovered: once while the extraction waits behind the test's hold on the
// engine, its first file reported written as the thread reports it, and once at its end, with
// the real summary box on the screen.
bool shoot_recovery(test::page_driver& driver, const test::pages_volume& volume, const QString& out)
{
    driver.click_cell(driver.row_of(QStringLiteral("#ig.bin")), 0);
    const QString target = volume.path(QStringLiteral("recovered"));
    QDir().mkpath(target);
    recovery_window_c* page = driver.recovery();
    std::unique_lock hold(page->current_engine()->file_lock());
    test::answer_folder_dialog(target);
    QTest::mouseClick(driver.button("btn_recovery"), Qt::LeftButton);
    QMetaObject::invokeMethod(page, "on_extraction_progress", Q_ARG(int, 1), Q_ARG(int, 3), Q_ARG(quint64, 4137u),
                              Q_ARG(quint64, 6296713u));
    if (!shoot_window(driver, out + QStringLiteral("/recovering.png")))
        return false;
    // The summary is a real box: photographed, then closed.
    set_warning_answerer({});
    bool shot = false;
    QTimer::singleShot(800, [&shot, &out] {
        shot = shoot_screen(out + QStringLiteral("/summary.png"));
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Ok)->click();
    });
    hold.unlock();
    for (int waited = 0; waited < 10000 && !shot; waited += 50)
        QTest::qWait(50);
    return shot;
}

// A volume formatted again, two files written since: the search for lost files with the old
// folders by name and big.bin marked overwritten.
bool shoot_lost_files(const QString& language_file, const QString& section, const QString& out)
{
    test::pages_volume volume;
    if (!volume.build_formatted(true))
        return false;
    test::page_driver driver(language_file, section);
    auto* lost_box = driver.window().page(main_window_c::volume_page)->findChild<QCheckBox*>();
    if (lost_box == nullptr)
        return false;
    lost_box->setChecked(true);
    if (!driver.scan_to_end())
        return false;
    driver.tree()->expandAll();
    driver.click_folder(QStringLiteral("#00000003"));
    driver.click_cell(driver.row_of(QStringLiteral("holiday.png")), 0);
    return shoot_window(driver, out + QStringLiteral("/lost.png"));
}

int run(const QString& language_file, const QString& section, const QString& out)
{
    test::pages_volume volume;
    if (!volume.build())
        return 1;
    // The toolkit's texts and the window's direction follow the language, as at the program's start.
    load_language_file(language_file, section, true);
    apply_interface_language();
    test::page_driver driver(language_file, section);
    if (!shoot_window(driver, out + QStringLiteral("/volumes.png")))
        return 1;
    driver.click_scan();
    if (!driver.wait_for_scan_end())
        return 1;
    driver.click_folder(QStringLiteral("#hotos"));
    driver.click_cell(driver.row_of(QStringLiteral("#otes.txt")), 0);
    driver.click_cell(driver.row_of(QStringLiteral("#oliday.png")), 0);
    if (!shoot_window(driver, out + QStringLiteral("/recovery.png")) || !shoot_recovery(driver, volume, out))
        return 1;
    enumerate_drives();
    driver.window().on_init_finished();
    driver.window().showPage(main_window_c::drive_page);
    driver.window().showMaximized();
    QTest::qWait(500);
    driver.window().showNormal();
    return shoot_window(driver, out + QStringLiteral("/drive-restored.png")) && shoot_lost_files(language_file, section, out)
               ? 0
               : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 4)
        return 2;
    return run(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
}
