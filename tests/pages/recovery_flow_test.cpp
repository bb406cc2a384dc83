// End to end in the window: volume page → scan of a FAT32 volume made by mkfs.fat and mtools →
// the deleted folders in the tree → a folder clicked → check-all → recovered into a folder,
// every file byte-exact and a hand-made "../" name kept inside that folder. Also: the window
// keeps painting while a scan runs.

#include "common/app_state.h"
#include "disk/volume_enumeration.h"
#include "recovery/tree_builder.h"
#include "recovery/my_header_view.h"
#include "scan/recovery_item.h"
#include "tests/pages/page_driver.h"
#include "tests/pages/pages_fixture.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QPushButton>
#include <QTest>

using namespace tarn;

namespace {

// Counts the paint events a widget receives.
class paint_counter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

QByteArray read_all(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class recovery_flow_test : public QObject {
    Q_OBJECT

private slots:
    void deleted_folder_recovered_byte_exact_inside_the_target();
    void window_keeps_painting_while_a_scan_runs();
    void leaving_a_running_scan_abandons_it_and_empties_the_page();
    void a_formatted_volume_gives_its_files_back_from_the_search_for_lost_files();
    void the_deep_scan_names_its_hits_after_the_files_the_scan_found();

private:
    // Starts a scan of the busy volume and pauses it once the engine has begun.
    static void scan_and_pause(test::page_driver& driver);
};

void recovery_flow_test::scan_and_pause(test::page_driver& driver)
{
    driver.click_scan();
    QVERIFY(scan_running);
    // The engine clears its flags as it begins, so the pause waits until it has read something.
    recovery_base_c* engine = driver.recovery()->current_engine();
    while (engine->isRunning() && engine->get_read_count() == 0)
        QThread::yieldCurrentThread();
    QTest::mouseClick(driver.button("btn_pause"), Qt::LeftButton);
    QCOMPARE(driver.button("btn_pause")->text(), QStringLiteral("resume"));
}

void recovery_flow_test::deleted_folder_recovered_byte_exact_inside_the_target()
{
    test::pages_volume volume;
    QVERIFY(volume.build());
    test::page_driver driver;
    driver.click_scan();
    QCOMPARE(driver.window().currentPage(), driver.recovery());
    QVERIFY(driver.wait_for_scan_end());

    QAbstractItemModelTester tree_tester(driver.tree()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QModelIndex top = driver.tree()->model()->index(0, 0);
    QCOMPARE(top.data().toString(), QStringLiteral("/"));
    QVERIFY(driver.tree()->isExpanded(top));
    QVERIFY(driver.folder("#hotos").isValid());
    QVERIFY(driver.folder("#ocs").isValid());
    QVERIFY(!driver.folder("kept").isValid()); // a live folder without deleted files

    driver.click_folder("#hotos");
    QAbstractItemModelTester table_tester(driver.table()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QStringList listed;
    for (int r = 0; r < driver.table()->model()->rowCount(); ++r)
        listed << driver.table()->model()->index(r, 0).data().value<recovery_item_s>().name;
    listed.sort();
    QCOMPARE(listed, QStringList(volume.photos().keys()));

    // The check-all box sits over column 0 of the heading.
    QHeaderView* header = driver.table()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(10, header->height() / 2));
    QVERIFY(static_cast<MyHeaderView*>(header)->check_all_state());

    const QString target = volume.path("inside/target");
    QVERIFY(QDir().mkpath(target));
    test::answer_folder_dialog(target);
    QTest::mouseClick(driver.button("btn_recovery"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(driver.fixture().opened().size(), std::size_t(1), 60000);
    QCOMPARE(driver.fixture().opened().front().toLocalFile(), target);

    // Everything written lies in the target, the crafted name as one harmless file name. Its
    // long name was kept whole, so it is written under it; the short names lost their first
    // character to the deletion and keep the "#".
    QCOMPARE(test::files_below(volume.path("inside")),
             QStringList({"target/#ig.bin", "target/#oliday.png", "target/#otes.txt", "target/a_.._.._e.txt"}));
    QCOMPARE(read_all(target + "/a_.._.._e.txt"), volume.photos()["#/../../e.txt"]);
    for (const QString name : {"#ig.bin", "#oliday.png", "#otes.txt"})
        QVERIFY2(read_all(target + "/" + name) == volume.photos()[name], qPrintable(name));
    QVERIFY(!QFile::exists(volume.path("e.txt")));
}

void recovery_flow_test::window_keeps_painting_while_a_scan_runs()
{
    test::pages_volume volume;
    QVERIFY(volume.build_busy());
    test::page_driver driver;
    scan_and_pause(driver);
    // Paused, the scan stays running for as long as the test looks.
    paint_counter counter;
    driver.recovery()->installEventFilter(&counter);
    QTRY_VERIFY(counter.count >= 3);
    QVERIFY(scan_running);
    QTest::mouseClick(driver.button("btn_pause"), Qt::LeftButton);
    QVERIFY(driver.wait_for_scan_end());
    QCOMPARE(driver.tree()->model()->rowCount(), 1);
}

void recovery_flow_test::leaving_a_running_scan_abandons_it_and_empties_the_page()
{
    test::pages_volume volume;
    QVERIFY(volume.build_busy());
    test::page_driver driver;
    scan_and_pause(driver);
    driver.fixture().answer_next(QMessageBox::No);
    QTest::mouseClick(driver.button("btn_back"), Qt::LeftButton);
    QCOMPARE(test::keys_of(driver.fixture().take_boxes()), QStringList{"back_warning"});
    QCOMPARE(driver.window().currentPage(), driver.recovery());
    QVERIFY(scan_running);

    driver.fixture().answer_next(QMessageBox::Yes);
    QTest::mouseClick(driver.button("btn_back"), Qt::LeftButton);
    QCOMPARE(driver.window().currentPage(), driver.window().page(main_window_c::volume_page));
    QVERIFY(driver.wait_for_scan_end());
    // Abandoned: no tree, no findings kept, and no deep scan offered for it.
    QCOMPARE(test::keys_of(driver.fixture().take_boxes()), QStringList{"back_warning"});
    QCOMPARE(driver.tree()->model()->rowCount(), 0);
    QCOMPARE(driver.recovery()->current_engine()->get_found_count(), 0);
}

// The volume page's switch asks for the search, and its findings are files like any other: the
// folder of lost files, the old folders below it by name, a picture previewed and written.
void recovery_flow_test::a_formatted_volume_gives_its_files_back_from_the_search_for_lost_files()
{
    test::pages_volume volume;
    QVERIFY(volume.build_formatted(true));
    test::page_driver driver;
    auto* lost_box = driver.window().page(main_window_c::volume_page)->findChild<QCheckBox*>();
    QVERIFY(lost_box != nullptr && lost_box->isVisible());
    lost_box->setChecked(true);
    QVERIFY(driver.scan_to_end());
    QVERIFY(driver.fixture().take_boxes().empty());
    // The new root holds nothing: the folder of lost files is the one top folder.
    QCOMPARE(driver.tree()->model()->rowCount(), 1);
    QCOMPARE(driver.tree()->model()->index(0, 0).data().toString(), orphan_folder_name());
    driver.click_folder("Letters");
    const int row = driver.row_of("letter.txt");
    QVERIFY(row >= 0);
    driver.click_folder("#00000003"); // Photos, whose own entry the new root took
    QStringList listed;
    for (int r = 0; r < driver.table()->model()->rowCount(); ++r)
        listed << driver.table()->model()->index(r, 0).data().value<recovery_item_s>().name;
    listed.sort();
    QCOMPARE(listed, QStringList({"abcdefghi.txt", "big.bin", "holiday.png", "notes.txt"}));
    // New files took part of big.bin: marked, and left out when the whole folder is ticked.
    for (int r = 0; r < driver.table()->model()->rowCount(); ++r) {
        const auto row = driver.table()->model()->index(r, 0).data().value<recovery_item_s>();
        QCOMPARE(row.overwritten, row.name == "big.bin");
    }
    QHeaderView* header = driver.table()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(10, header->height() / 2));
    QVERIFY(!driver.table()->model()->index(driver.row_of("big.bin"), 0).data().value<recovery_item_s>().checked);
    QVERIFY(driver.table()->model()->index(driver.row_of("notes.txt"), 0).data().value<recovery_item_s>().checked);
    driver.click_cell(driver.row_of("holiday.png"), 1);
    QTRY_VERIFY(!driver.preview_is_white());
}

// After a file scan found the deleted picture, the deep scan of the same volume names the hit that
// starts where the picture started after it, not by its number.
void recovery_flow_test::the_deep_scan_names_its_hits_after_the_files_the_scan_found()
{
    test::scanned_page page;
    QVERIFY(page.ready);
    page.driver.click_folder("#hotos");
    QVERIFY(page.driver.row_of("#oliday.png") >= 0);
    QCOMPARE(page.driver.recovery()->start_scan(volume_list().at(1), true), 0);
    QVERIFY(page.driver.wait_for_scan_end());
    page.driver.click_folder("png");
    QCOMPARE(page.driver.table()->model()->rowCount(), 1);
    QCOMPARE(page.driver.table()->model()->index(0, 0).data().value<recovery_item_s>().name, QStringLiteral("#oliday.png"));
}

QTEST_MAIN(recovery_flow_test)
#include "recovery_flow_test.moc"
