// The main window's page flow under real clicks on the tabs and the home page's buttons: the
// start-up and running-scan guards, the boxes with their titles, buttons and owners, the
// language menu, help and closing.

#include "common/app_state.h"
#include "disk/drive_enumeration.h"
#include "tests/shell/shell_fixture.h"
#include "settings/language.h"
#include "platform/shell_open.h"
#include "ui/help_window.h"
#include "ui/main_window.h"
#include "widgets/file_chooser.h"

#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>

#include <memory>

using namespace tarn;

class main_window_test : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void home_start_waits_for_start_up();
    void home_start_keeps_the_deep_scan_choice_of_tab_3();
    void tabs_ask_before_leaving_a_running_scan();
    void drive_scan_needs_a_disk_and_partition_back_lands_on_volumes();
    void recovery_back_and_resume();
    void choosing_a_language_saves_it_for_the_next_start();
    void help_opens_the_shipped_page();
    void help_shows_in_a_window_of_its_own_without_a_desktop_handler();
    void right_to_left_mirrors_the_home_page();
    void closing_asks_only_while_a_scan_runs();
    void home_buttons_sit_at_117_in_a_496_pixel_page();
    void the_first_page_row_still_drags_the_window();

private:
    void click_tab(int tab);
    void click_home(const char* name);
    int page_index() const;

    std::unique_ptr<test::shell_fixture> fixture_;
    std::unique_ptr<main_window_c> window_;
};

void main_window_test::init()
{
    fixture_ = std::make_unique<test::shell_fixture>();
    init_done = 0;
    scan_running = false;
    window_ = std::make_unique<main_window_c>();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void main_window_test::cleanup()
{
    window_.reset();
    fixture_.reset();
    scan_running = false;
    drive_list().clear();
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
}

void main_window_test::click_tab(int tab)
{
    QTest::mouseClick(window_.get(), Qt::LeftButton, {}, QPoint(50 + 103 * (tab - 1), 60));
}

void main_window_test::click_home(const char* name)
{
    auto* button = window_->page(main_window_c::home_page)->findChild<QPushButton*>(QString::fromLatin1(name));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

int main_window_test::page_index() const
{
    for (int i = 0; i < 5; ++i)
        if (window_->currentPage() == window_->page(i)) {
            // Exactly the current page is visible.
            for (int j = 0; j < 5; ++j)
                if (window_->page(j)->isVisible() != (j == i))
                    return -2;
            return i;
        }
    return -1;
}

void main_window_test::home_start_waits_for_start_up()
{
    QCOMPARE(page_index(), 0);
    click_home("btn_start");
    click_tab(2);
    click_home("btn_resume");
    auto boxes = fixture_->take_boxes();
    QCOMPARE(test::keys_of(boxes), QStringList(3, QStringLiteral("startup_warning")));
    for (const auto& box : boxes) {
        QCOMPARE(box.title, QStringLiteral("TarnRecovery"));
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.owner, window_.get());
        QCOMPARE(box.text, QStringLiteral("Still reading the drives."));
    }
    QCOMPARE(page_index(), 0);

    init_done = 1;
    click_home("btn_start");
    QCOMPARE(page_index(), 1);
    QVERIFY(fixture_->take_boxes().empty());
}

void main_window_test::home_start_keeps_the_deep_scan_choice_of_tab_3()
{
    init_done = 1;
    click_tab(3);
    QCOMPARE(page_index(), 1);
    QVERIFY(window_->rawScan());
    window_->on_click_volume_back();
    QCOMPARE(page_index(), 0);
    click_home("btn_start");
    QCOMPARE(page_index(), 1);
    QVERIFY(window_->rawScan());
    click_tab(1);
    QVERIFY(!window_->rawScan());
    click_tab(3);
    click_tab(2);
    QCOMPARE(page_index(), 2);
    QVERIFY(window_->rawScan());
    QVERIFY(fixture_->take_boxes().empty());
}

void main_window_test::tabs_ask_before_leaving_a_running_scan()
{
    init_done = 1;
    window_->showPage(main_window_c::recovery_page);
    scan_running = true;
    fixture_->answer_next(QMessageBox::No);
    click_tab(2);
    auto boxes = fixture_->take_boxes();
    QCOMPARE(test::keys_of(boxes), QStringList{QStringLiteral("back_warning")});
    QCOMPARE(boxes[0].title, QStringLiteral("TarnRecovery"));
    QCOMPARE(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(boxes[0].owner, window_.get());
    QCOMPARE(page_index(), 4);

    fixture_->answer_next(QMessageBox::No);
    click_tab(3);
    QVERIFY(!window_->rawScan());
    QCOMPARE(page_index(), 4);

    fixture_->answer_next(QMessageBox::Yes);
    click_tab(2);
    QCOMPARE(test::keys_of(fixture_->take_boxes()).size(), 2);
    QCOMPARE(page_index(), 2);
}

void main_window_test::drive_scan_needs_a_disk_and_partition_back_lands_on_volumes()
{
    init_done = 1;
    // No disks: the list holds only its blank header entry.
    drive_list().assign(1, drive_item_s{});
    window_->on_init_finished();
    click_tab(2);
    window_->on_click_drive_scan();
    auto boxes = fixture_->take_boxes();
    QCOMPARE(test::keys_of(boxes), QStringList{QStringLiteral("main_warning1")});
    QCOMPARE(boxes[0].title, QStringLiteral("Quillmere"));
    QCOMPARE(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::NoButton));
    QCOMPARE(boxes[0].owner, nullptr);
    QCOMPARE(page_index(), 2);

    // One disk; start-up made it current.
    drive_list().push_back(drive_item_s{QStringLiteral("/tmp/disk0.img"), 512 * 1024, disk_geometry_s{}});
    window_->on_init_finished();
    window_->on_click_drive_scan();
    QCOMPARE(page_index(), 3);
    window_->on_click_partition_back();
    QCOMPARE(page_index(), 1);

    // After a refresh no row is current.
    qputenv("TARN_DISKS", fixture_->path(QStringLiteral("none.img")).toUtf8());
    window_->on_click_drive_refresh();
    qunsetenv("TARN_DISKS");
    window_->on_click_drive_scan();
    QCOMPARE(test::keys_of(fixture_->take_boxes()), QStringList{QStringLiteral("main_warning1")});
    QCOMPARE(page_index(), 1);
    window_->on_click_drive_back();
    QCOMPARE(page_index(), 0);
}

void main_window_test::recovery_back_and_resume()
{
    init_done = 1;
    window_->showPage(main_window_c::recovery_page);
    scan_running = true;
    fixture_->answer_next(QMessageBox::No);
    window_->on_click_recovery_back();
    QCOMPARE(page_index(), 4);
    fixture_->answer_next(QMessageBox::Yes);
    window_->on_click_recovery_back();
    QCOMPARE(page_index(), 1);
    QCOMPARE(test::keys_of(fixture_->take_boxes()), QStringList(2, QStringLiteral("back_warning")));

    // Without a scan, back asks nothing; a resume whose file dialog is cancelled stays home.
    scan_running = false;
    window_->showPage(main_window_c::recovery_page);
    window_->on_click_recovery_back();
    QCOMPARE(page_index(), 1);
    window_->on_click_volume_back();
    set_file_chooser([](file_choice_e) { return QString(); }); // the scan file dialog, cancelled
    click_home("btn_resume");
    set_file_chooser({});
    QCOMPARE(page_index(), 0);
    QVERIFY(fixture_->take_boxes().empty());
}

void main_window_test::choosing_a_language_saves_it_for_the_next_start()
{
    QMenu* languages = window_->settingsMenu()->actions().at(0)->menu();
    QAction* english = languages->actions().at(2);
    QAction* deutsch = languages->actions().at(1);
    QCOMPARE(english->text(), QStringLiteral("English"));
    QCOMPARE(deutsch->text(), QStringLiteral("Deutsch"));

    const auto ticked = [languages] {
        QStringList names;
        for (const QAction* entry : languages->actions())
            if (entry->isChecked())
                names << entry->text();
        return names;
    };
    QCOMPARE(ticked(), QStringList{QStringLiteral("English")});

    english->trigger();
    QVERIFY(fixture_->take_boxes().empty());
    QVERIFY(!QFile::exists(fixture_->path(QStringLiteral("TarnRecovery.ini"))));
    QCOMPARE(ticked(), QStringList{QStringLiteral("English")});

    deutsch->trigger();
    QCOMPARE(test::keys_of(fixture_->take_boxes()), QStringList{QStringLiteral("language_warning")});
    QCOMPARE(language_index, 1);
    QCOMPARE(ticked(), QStringList{QStringLiteral("Deutsch")});
    QSettings saved(fixture_->path(QStringLiteral("TarnRecovery.ini")), QSettings::IniFormat);
    QCOMPARE(saved.value(QStringLiteral("language")).toString(), QStringLiteral("Deutsch"));
    // Nothing on screen changes until the next start; only new image paths use the new code.
    QCOMPARE(language_text("menu_help"), QStringLiteral("Help"));
    QCOMPARE(window_->settingsMenu()->actions().at(2)->text(), QStringLiteral("Help"));
    QCOMPARE(language_code(), QStringLiteral("de"));

    deutsch->trigger();
    QVERIFY(fixture_->take_boxes().empty());
}

void main_window_test::help_opens_the_shipped_page()
{
    window_->settingsMenu()->actions().at(2)->trigger();
    QCOMPARE(fixture_->opened().size(), std::size_t{1});
    const QUrl url = fixture_->opened()[0];
    QVERIFY(url.isLocalFile());
    QCOMPARE(url.toLocalFile(), help_page_path());
    QVERIFY(url.toLocalFile().endsWith(QStringLiteral("/help/index.html")));
}

void main_window_test::help_shows_in_a_window_of_its_own_without_a_desktop_handler()
{
    set_shell_opener([](const QUrl&) { return -1; });
    QAction* help = window_->settingsMenu()->actions().at(2);
    help->trigger();
    help->trigger();
    // One window, shown again on the second request, over the page beside the program.
    const auto windows = window_->findChildren<help_window_c*>();
    QCOMPARE(windows.size(), 1);
    QVERIFY(windows[0]->isVisible());
    QCOMPARE(windows[0]->browser()->source(), QUrl::fromLocalFile(help_page_path()));
    QCOMPARE(windows[0]->browser()->documentTitle(), QStringLiteral("TarnRecovery help"));
    // Without the page beside the program, the copy compiled into it.
    help_window_c builtin(QStringLiteral("/nonexistent/index.html"), nullptr);
    QCOMPARE(builtin.browser()->documentTitle(), QStringLiteral("TarnRecovery help"));
}

void main_window_test::right_to_left_mirrors_the_home_page()
{
    // The direction is the application's for the whole run: cleanup() sets it back.
    QGuiApplication::setLayoutDirection(Qt::RightToLeft);
    window_ = std::make_unique<main_window_c>();
    window_->show();
    QWidget* home = window_->page(main_window_c::home_page);
    QTRY_COMPARE(home->height(), 496);
    // Each button keeps from the right edge the distance it has from the left edge left to right.
    QCOMPARE(home->findChild<QPushButton*>(QStringLiteral("btn_start"))->x(), home->width() - 40 - 330);
    QCOMPARE(home->findChild<QPushButton*>(QStringLiteral("btn_resume"))->x(), home->width() - 425 - 323);
}

void main_window_test::closing_asks_only_while_a_scan_runs()
{
    QSignalSpy about_to_close(window_.get(), &QSkinWidget::aboutToClose);
    scan_running = true;
    fixture_->answer_next(QMessageBox::No);
    QTest::mouseClick(window_.get(), Qt::LeftButton, {}, QPoint(window_->width() - 10, 10));
    auto boxes = fixture_->take_boxes();
    QCOMPARE(test::keys_of(boxes), QStringList{QStringLiteral("quit_warning")});
    QCOMPARE(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(window_->isVisible());
    QCOMPARE(about_to_close.size(), 0);

    scan_running = false;
    window_->settingsMenu()->actions().at(4)->trigger(); // the exit entry
    QVERIFY(fixture_->take_boxes().empty());
    QVERIFY(!window_->isVisible());
    QCOMPARE(about_to_close.size(), 1);
}

void main_window_test::home_buttons_sit_at_117_in_a_496_pixel_page()
{
    QWidget* home = window_->page(main_window_c::home_page);
    // The window's 600 pixels less the title band (100) and the bottom border (4).
    QCOMPARE(home->height(), 496);
    for (const char* name : {"btn_start", "btn_resume"})
        QCOMPARE(home->findChild<QPushButton*>(QString::fromLatin1(name))->y(), 117);
    window_->resize(800, 700); // page 596: 596 - (327.8 + 106) = 162.2
    QTRY_COMPARE(home->height(), 596);
    QCOMPARE(home->findChild<QPushButton*>(QStringLiteral("btn_start"))->y(), 162);
}

void main_window_test::the_first_page_row_still_drags_the_window()
{
    // The page's blank ground passes presses on to the window: its top row is window row 100.
    QWidget* home = window_->page(main_window_c::home_page);
    QCOMPARE(home->mapTo(window_.get(), QPoint(0, 0)).y(), 100);
    const QPoint start = window_->pos();
    QTest::mousePress(home, Qt::LeftButton, {}, QPoint(300, 0));
    QTest::mouseMove(home, QPoint(330, 20));
    QTest::mouseRelease(home, Qt::LeftButton, {}, QPoint(330, 20));
    QCOMPARE(window_->pos(), start + QPoint(30, 20));
    QTest::mousePress(home, Qt::LeftButton, {}, QPoint(300, 1));
    QTest::mouseMove(home, QPoint(330, 21));
    QTest::mouseRelease(home, Qt::LeftButton, {}, QPoint(330, 21));
    QCOMPARE(window_->pos(), start + QPoint(30, 20));
}

QTEST_MAIN(main_window_test)
#include "main_window_test.moc"
