// The recovery page on FAT32 volumes made by mkfs.fat and mtools: engine choice, the recover
// button's guards, the preview, pause after the end, stop and the deep-scan offer.

#include "common/app_state.h"
#include "recovery/file_extraction.h"
#include "recovery/preview_content.h"
#include "recovery/recovery_status.h"
#include "recovery/engine_table.h"
#include "recovery/scanner_kind.h"
#include "scan/recovery_control.h"
#include "tests/pages/page_driver.h"
#include "tests/pages/pages_fixture.h"
#include "settings/language.h"
#include "widgets/file_chooser.h"

#include <QDir>
#include <QFile>
#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <QElapsedTimer>

#include <mutex>
#include <random>


using namespace tarn;

namespace {

// The keys of the next boxes the page shows, waiting up to five seconds for them.
QStringList next_boxes(test::page_driver& driver)
{
    QStringList keys;
    for (int waited = 0; waited < 5000 && keys.isEmpty(); waited += 10) {
        QTest::qWait(10);
        keys = test::keys_of(driver.fixture().take_boxes());
    }
    return keys;
}

} // namespace

class recovery_page_test : public QObject {
    Q_OBJECT

private slots:
    void engine_follows_the_file_system();
    void preview_text_is_decoded_by_its_mark();
    void status_line_counts_records_or_bytes();
    void recover_needs_rows_and_a_checked_file();
    void second_recover_click_while_extraction_runs_is_ignored();
    void preview_shows_small_files_only();
    void ticks_survive_folders_and_every_recovery_reports_its_result();
    void pause_after_the_end_scans_the_same_volume_again();
    void nothing_found_offers_a_deep_scan_unless_stopped();
    void unreadable_volume_is_a_failure_not_nothing_found();
    void deletions_in_the_root_alone_show_under_the_top_folder();
    void an_ntfs_volume_is_scanned_and_recovered();
    void a_volume_of_noise_never_freezes_the_window();
};

void recovery_page_test::engine_follows_the_file_system()
{
    volume_item_s v;
    const std::pair<const char*, int> cases[] = {{"FAT32", scanner_fat}, {"FAT12", scanner_fat}, {"FAT", scanner_fat},
                                                 {"NTFS", scanner_ntfs}, {"fat32", -1},        {"ntfs", -1},
                                                 {"exFAT", scanner_exfat}, {"exfat", -1},      {"", -1},
                                                 {"NTFS ", -1}};
    for (const auto& [fs, kind] : cases) {
        v.fs_name = QString::fromLatin1(fs);
        const engine_entry_s* entry = choose_engine(v, false);
        QCOMPARE(entry ? int(entry->kind) : -1, kind);
        QCOMPARE(int(choose_engine(v, true)->kind), int(scanner_raw)); // deep: signatures, whatever the system
    }

    // A refused start has still shown the buttons and taken the volume, and starts no thread.
    test::page_driver driver;
    v.fs_name = QStringLiteral("ext4");
    QCOMPARE(driver.recovery()->start_scan(v, false), -1);
    QVERIFY(!scan_running);
    QVERIFY(!driver.recovery()->findChild<QPushButton*>("btn_stop")->isHidden());
    // A running scan refuses another.
    scan_running = true;
    v.fs_name = QStringLiteral("FAT32");
    QCOMPARE(driver.recovery()->start_scan(v, false), -1);
    scan_running = false;
}

void recovery_page_test::preview_text_is_decoded_by_its_mark()
{
    QCOMPARE(decode_preview_text(QByteArray("\xFF\xFEH\0i\0\0\0x\0", 10)), QStringLiteral("Hi"));
    QCOMPARE(decode_preview_text(QByteArray("\xFF\xFE\x2D\x4E", 4)), QString(QChar(0x4E2D)));
    QCOMPARE(decode_preview_text(QByteArray("\xEF\xBB\xBF\xC3\xA4nd", 7)), QString::fromUtf8("änd"));
    QCOMPARE(decode_preview_text(QByteArray("plain\0rest", 10)), QStringLiteral("plain"));
    // The marks alone, with nothing after them, are read as 8-bit text.
    QCOMPARE(decode_preview_text(QByteArray("\xEF\xBB\xBF")), QString::fromLocal8Bit("\xEF\xBB\xBF"));
    QCOMPARE(decode_preview_text(QByteArray("\xFF\xFE")), QString::fromLocal8Bit("\xFF\xFE"));
    QVERIFY(is_preview_image_name("A.JPG") && is_preview_image_name("x.jpeg") && is_preview_image_name("s.tiff"));
    QVERIFY(!is_preview_image_name("x.txt") && !is_preview_image_name("jpg") && !is_preview_image_name("x.tif"));
}

void recovery_page_test::status_line_counts_records_or_bytes()
{
    test::shell_fixture fixture;
    language_text("recovery_reading") = QStringLiteral("Records read: ");
    language_text("raw_progress") = QStringLiteral("Scanned:");
    language_text("scan_fs_unreadable") = QStringLiteral("Unreadable.");
    language_text("scan_stopped") = QStringLiteral("Stopped.");
    language_text("scan_nothing_found") = QStringLiteral("Nothing.");
    const auto status = [](bool deep, bool failed, double progress, std::uint64_t bytes, bool stopped = false,
                           bool nothing = false, const QString& extraction = {}) {
        return status_line({deep, failed, progress, bytes, 42, 0, stopped, nothing, extraction});
    };
    QCOMPARE(status(false, false, 0.5, 4096), QStringLiteral("Records read: 42"));
    QCOMPARE(status(true, false, 0.5, 3221225472ull), QStringLiteral("Scanned: 1.50G"));
    QCOMPARE(status(false, true, 1.0, 4096), QStringLiteral("Unreadable."));
    // A stopped scan says so before what it reached; one that found nothing says that.
    QCOMPARE(status(true, false, 0.25, 3221225472ull, true), QStringLiteral("Stopped. Scanned: 768.00M"));
    QCOMPARE(status(false, false, 1.0, 4096, false, true), QStringLiteral("Nothing."));
    QCOMPARE(status(false, false, 1.0, 4096, true, true, "3 files recovered, 0 failed."),
             QStringLiteral("3 files recovered, 0 failed."));
}

void recovery_page_test::recover_needs_rows_and_a_checked_file()
{
    test::scanned_page page;
    QVERIFY(page.ready);
    auto& driver = page.driver;
    QCOMPARE(driver.window().currentPage(), driver.recovery());
    // No folder listed yet: the button does nothing at all.
    QTest::mouseClick(driver.button("btn_recovery"), Qt::LeftButton);
    QVERIFY(driver.fixture().take_boxes().empty());
    driver.click_folder("#hotos");
    QVERIFY(driver.table()->model()->rowCount() > 0);
    QTest::mouseClick(driver.button("btn_recovery"), Qt::LeftButton);
    QCOMPARE(test::keys_of(driver.fixture().take_boxes()), QStringList{"recovery_check_warning"});
}

void recovery_page_test::second_recover_click_while_extraction_runs_is_ignored()
{
    test::scanned_page page;
    QVERIFY(page.ready);
    auto& driver = page.driver;
    driver.click_folder("#hotos");
    const int notes = driver.row_of("#otes.txt");
    QVERIFY(notes >= 0);
    driver.click_cell(notes, 0);
    const QString target = page.volume.path("out");
    QVERIFY(QDir().mkpath(target));
    {
        // The extraction waits for the engine, which the test holds until the second click is in.
        const std::lock_guard hold(driver.recovery()->current_engine()->file_lock());
        test::answer_folder_dialog(target);
        QTest::mouseClick(driver.button("btn_recovery"), Qt::LeftButton);
        // The second click asks for no folder at all: nothing could be started.
        QTest::mouseClick(driver.button("btn_recovery"), Qt::LeftButton);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }
    QTRY_COMPARE(driver.fixture().opened().size(), std::size_t(1));
    QTest::qWait(100); // a second run, had one started, would open the folder again
    QCOMPARE(driver.fixture().opened().size(), std::size_t(1));
    QDir out(target);
    QCOMPARE(out.entryList(QDir::Files), QStringList{"#otes.txt"});
    QFile written(out.filePath("#otes.txt"));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), page.volume.photos()["#otes.txt"]);
    QTest::qWait(100); // a second run, had one started, would open the folder again
    QCOMPARE(driver.fixture().opened().size(), std::size_t(1));
    QCOMPARE(driver.fixture().opened().front().toLocalFile(), target);
}

void recovery_page_test::preview_shows_small_files_only()
{
    test::scanned_page page;
    QVERIFY(page.ready);
    auto& driver = page.driver;
    language_text("preview_size") = QStringLiteral("Size:");
    const QString big_size = QStringLiteral("Size: 6.00M");
    driver.click_folder("#hotos");
    QVERIFY(driver.preview_is_white());
    driver.click_cell(driver.row_of("#otes.txt"), 1);
    QTRY_VERIFY(driver.painted_texts().join('\n').contains(QStringLiteral("Day 1: the lake.")));
    // The 6 MiB file is not fetched: its type and size are shown from its record.
    driver.click_cell(driver.row_of("#ig.bin"), 1);
    QVERIFY(driver.painted_texts().join('\n').contains(big_size));
    QTest::qWait(200);
    QVERIFY(!QFile::exists(QDir::temp().filePath("#ig.bin")));
    driver.click_cell(driver.row_of("#oliday.png"), 1);
    QTRY_VERIFY(!driver.preview_is_white() && !driver.painted_texts().join('\n').contains(big_size));
    // A fetch still under way when the big file is clicked does not paint over what it shows.
    driver.click_cell(driver.row_of("#otes.txt"), 1);
    driver.click_cell(driver.row_of("#ig.bin"), 1);
    QTest::qWait(200);
    QVERIFY(driver.painted_texts().join('\n').contains(big_size));
}

void recovery_page_test::ticks_survive_folders_and_every_recovery_reports_its_result()
{
    test::scanned_page page;
    QVERIFY(page.ready);
    auto& driver = page.driver;
    language_text("recovery_summary") = QStringLiteral("%1 recovered, %2 failed.");
    const auto checked = [&driver](const QString& name) {
        const int row = driver.row_of(name);
        return row >= 0 && driver.table()->model()->index(row, 0).data().value<recovery_item_s>().checked;
    };
    // Ticks in two folders, then back to the first: its ticks are still there.
    driver.click_folder("#hotos");
    driver.click_cell(driver.row_of("#otes.txt"), 0);
    driver.click_cell(driver.row_of("#oliday.png"), 0);
    driver.click_folder("#etters");
    QCOMPARE(driver.table()->model()->rowCount(), 1);
    driver.click_cell(0, 0);
    driver.click_folder("#hotos");
    QVERIFY(checked("#otes.txt") && checked("#oliday.png") && !checked("#ig.bin"));

    // One recovery writes the ticks of both folders and ends with its summary.
    const QString ticked = page.volume.path("ticked");
    QVERIFY(QDir().mkpath(ticked));
    test::answer_folder_dialog(ticked);
    QTest::mouseClick(driver.button("btn_recovery"), Qt::LeftButton);
    QCOMPARE(next_boxes(driver), QStringList{"recovery_summary"});
    QCOMPARE(test::files_below(ticked), (QStringList{"#etter.txt", "#oliday.png", "#otes.txt"}));
    QVERIFY(driver.painted_texts().contains(QStringLiteral("3 recovered, 0 failed.")));

    // "Recover this folder" writes the folder with everything below it, under its own name.
    const QString whole = page.volume.path("whole");
    QVERIFY(QDir().mkpath(whole));
    QTimer::singleShot(50, [] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        }
    });
    test::answer_folder_dialog(whole);
    const QModelIndex docs = driver.folder("#ocs");
    emit driver.tree()->customContextMenuRequested(driver.tree()->visualRect(docs).center());
    QCOMPARE(next_boxes(driver), QStringList{"recovery_summary"});
    // Folders under the long names the volume kept; "letter.txt" had none, so it keeps the "#".
    QCOMPARE(test::files_below(whole), QStringList{"Docs/Letters/#etter.txt"});

    // A folder nothing can be written to is refused before anything starts.
    test::answer_folder_dialog(QStringLiteral("/proc"));
    QTest::mouseClick(driver.button("btn_recovery"), Qt::LeftButton);
    QCOMPARE(next_boxes(driver), QStringList{"recovery_target_unwritable"});
}

void recovery_page_test::pause_after_the_end_scans_the_same_volume_again()
{
    test::scanned_page page;
    QVERIFY(page.ready);
    auto& driver = page.driver;
    QCOMPARE(driver.button("btn_pause")->text(), QStringLiteral("start"));
    QVERIFY(driver.button("btn_stop")->isHidden());
    const int found = driver.tree()->model()->rowCount(driver.tree()->model()->index(0, 0));
    QVERIFY(found >= 2);
    driver.click_folder("#hotos");

    QTest::mouseClick(driver.button("btn_pause"), Qt::LeftButton);
    QVERIFY(scan_running);
    QCOMPARE(driver.button("btn_pause")->text(), QStringLiteral("pause"));
    QVERIFY(!driver.button("btn_stop")->isHidden());
    QCOMPARE(driver.tree()->model()->rowCount(), 0);
    QCOMPARE(driver.table()->model()->rowCount(), 0);
    QVERIFY(driver.wait_for_scan_end());
    QCOMPARE(driver.recovery()->scanner_kind(), int(scanner_fat));
    QCOMPARE(driver.tree()->model()->rowCount(driver.tree()->model()->index(0, 0)), found);
    QVERIFY(driver.fixture().take_boxes().empty());
}

void recovery_page_test::nothing_found_offers_a_deep_scan_unless_stopped()
{
    test::pages_volume volume;
    QVERIFY(volume.build(false));
    test::page_driver driver;
    driver.fixture().answer_next(QMessageBox::No);
    driver.fixture().answer_next(QMessageBox::No);
    driver.click_scan();
    QVERIFY(driver.wait_for_scan_end());
    // The search for lost files first (the FAT engine has one), then the deep scan.
    QCOMPARE(test::keys_of(driver.fixture().take_boxes()), QStringList({"lost_search_query", "deep_scan_query"}));
    QCOMPARE(driver.tree()->model()->rowCount(), 0);

    // Start again and stop: once the engine has begun (it clears its own flags first), the stop
    // code stays and the end is handled as stopped however far the walk got.
    QTest::mouseClick(driver.button("btn_pause"), Qt::LeftButton);
    recovery_base_c* engine = driver.recovery()->current_engine();
    while (engine->isRunning() && engine->get_read_count() == 0)
        QThread::yieldCurrentThread();
    QTest::mouseClick(driver.button("btn_stop"), Qt::LeftButton);
    QCOMPARE(engine->get_stop(), int(stop_keep));
    QVERIFY(driver.wait_for_scan_end());
    QVERIFY(driver.fixture().take_boxes().empty());

    // Yes to the first offer searches for lost files; when that finds nothing either, Yes to the
    // deep scan runs one, which itself never offers anything.
    QTest::mouseClick(driver.button("btn_pause"), Qt::LeftButton);
    driver.fixture().answer_next(QMessageBox::Yes);
    driver.fixture().answer_next(QMessageBox::Yes);
    QVERIFY(driver.wait_for_scan_end());
    QTest::qWait(50);
    QVERIFY(driver.wait_for_scan_end());
    QCOMPARE(test::keys_of(driver.fixture().take_boxes()), QStringList({"lost_search_query", "deep_scan_query"}));
    QTest::qWait(50);
    QCOMPARE(driver.recovery()->scanner_kind(), int(scanner_raw));
    QVERIFY(!driver.button("btn_filter")->isHidden());
    QVERIFY(driver.fixture().take_boxes().empty());

    // Started again, the deep scan hides Save until it ends: hits still being found are not saved.
    QTest::mouseClick(driver.button("btn_pause"), Qt::LeftButton);
    QVERIFY(scan_running);
    QVERIFY(driver.button("btn_filter")->isHidden());
    QVERIFY(driver.wait_for_scan_end());
    QVERIFY(!driver.button("btn_filter")->isHidden());

    // Save the results, open them again: the same type folders, names and sizes, and no buttons.
    const auto listing = [&driver] {
        QStringList out;
        const QModelIndex top = driver.tree()->model()->index(0, 0);
        for (int r = 0; r < driver.tree()->model()->rowCount(top); ++r) {
            const QString folder = driver.tree()->model()->index(r, 0, top).data().toString();
            driver.click_folder(folder);
            for (int row = 0; row < driver.table()->model()->rowCount(); ++row) {
                const auto item = driver.table()->model()->index(row, 0).data().value<recovery_item_s>();
                out << folder + "/" + item.name + " " + QString::number(item.size);
            }
        }
        return out;
    };
    const QStringList before = listing();
    QVERIFY(!before.isEmpty());
    const QString saved = volume.path("deep.sav");
    set_file_chooser([&saved](file_choice_e) { return saved; });
    QTest::mouseClick(driver.button("btn_filter"), Qt::LeftButton);
    QVERIFY(QFileInfo(saved).size() > 256);
    driver.recovery()->clear();
    QCOMPARE(driver.recovery()->open_scan_file(), 0);
    set_file_chooser({});
    QCOMPARE(listing(), before);
    QVERIFY(driver.button("btn_pause")->isHidden() && driver.button("btn_filter")->isHidden());
    QVERIFY(driver.fixture().take_boxes().empty());
}

void recovery_page_test::unreadable_volume_is_a_failure_not_nothing_found()
{
    test::pages_volume volume;
    QVERIFY(volume.build(false));
    QVERIFY(volume.patch_image(44, QByteArray("\xF0\xFF\xFF\x00", 4))); // the root folder's cluster
    test::page_driver driver;
    driver.fixture().answer_next(QMessageBox::No);
    driver.click_scan();
    QVERIFY(driver.wait_for_scan_end());
    QCOMPARE(driver.recovery()->current_engine()->get_failure(), scan_failure_e::damaged);
    QCOMPARE(test::keys_of(driver.fixture().take_boxes()), QStringList{"deep_scan_query"});

    // An NTFS volume that is not there: the scan fails as such, and a deep scan is offered.
    volume_item_s ntfs;
    ntfs.fs_name = QStringLiteral("NTFS");
    ntfs.disk_number = 7;
    ntfs.partition_number = 3;
    driver.fixture().answer_next(QMessageBox::No);
    QCOMPARE(driver.recovery()->start_scan(ntfs, false), 0);
    QVERIFY(driver.wait_for_scan_end());
    QCOMPARE(driver.recovery()->current_engine()->get_failure(), scan_failure_e::volume_missing);
    QCOMPARE(test::keys_of(driver.fixture().take_boxes()), QStringList{"deep_scan_query"});
}

void recovery_page_test::deletions_in_the_root_alone_show_under_the_top_folder()
{
    test::pages_volume volume;
    QVERIFY(volume.build_root_only());
    test::page_driver driver;
    QVERIFY(driver.scan_to_end());
    QVERIFY(driver.fixture().take_boxes().empty()); // found: no deep scan offered
    QCOMPARE(driver.tree()->model()->rowCount(), 1);
    const QModelIndex top = driver.tree()->model()->index(0, 0);
    QCOMPARE(top.data().toString(), QStringLiteral("/"));
    QCOMPARE(driver.tree()->model()->rowCount(top), 0);
    driver.tree()->setCurrentIndex(top);
    QTest::mouseClick(driver.tree()->viewport(), Qt::LeftButton, {}, driver.tree()->visualRect(top).center());
    QCOMPARE(driver.table()->model()->rowCount(), 2);
    QVERIFY(driver.row_of("#eport.txt") >= 0 && driver.row_of("#hoto.jpg") >= 0);
}

void recovery_page_test::an_ntfs_volume_is_scanned_and_recovered()
{
    test::pages_volume volume;
    QVERIFY(volume.build_ntfs());
    test::page_driver driver;
    QVERIFY(driver.scan_to_end());
    QCOMPARE(driver.recovery()->scanner_kind(), int(scanner_ntfs));
    QVERIFY(driver.fixture().take_boxes().empty());
    QVERIFY(driver.folder("Alt").isValid());
    QVERIFY(!driver.folder("Neu").isValid()); // nothing deleted there
    driver.click_folder("Alt");
    const int row = driver.row_of("brief.txt");
    QVERIFY(row >= 0);
    const QString out = volume.path("out");
    QVERIFY(QDir().mkpath(out));
    const auto file = driver.table()->model()->index(row, 0).data().value<recovery_item_s>();
    QCOMPARE(extract_one(*driver.recovery()->current_engine(), scanner_ntfs, out, file), 0);
    QCOMPARE(QFileInfo(out + "/brief.txt").size(), 5000);
}

// Everything past the boot sectors overwritten with noise: the FAT scan and then the deep scan it
// offers run to their ends while the window goes on handling its events. A gap of seconds between two timer ticks would be a frozen window.
void recovery_page_test::a_volume_of_noise_never_freezes_the_window()
{
    test::pages_volume volume;
    QVERIFY(volume.build(false));
    QByteArray noise(static_cast<int>(QFileInfo(volume.image()).size()) - 32 * 512, '\0');
    std::mt19937 random(99);
    for (char& c : noise)
        c = static_cast<char>(random());
    QVERIFY(volume.patch_image(32 * 512, noise));

    test::page_driver driver;
    QElapsedTimer since_tick;
    qint64 longest_gap = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longest_gap = std::max(longest_gap, since_tick.restart());
    });
    since_tick.start();
    ticks.start(10);
    driver.fixture().answer_next(QMessageBox::Yes);
    driver.fixture().answer_next(QMessageBox::Yes);
    driver.click_scan();
    QVERIFY(driver.wait_for_scan_end());
    QTest::qWait(50);
    QVERIFY(driver.wait_for_scan_end());
    QTest::qWait(50);
    QVERIFY(driver.wait_for_scan_end());
    // Noise holds no file the FAT scan could take (it reads as names of files larger than the
    // volume or past its end), nor does the search for lost files over all of it, so the deep
    // scan was offered and run.
    QCOMPARE(test::keys_of(driver.fixture().take_boxes()), QStringList({"lost_search_query", "deep_scan_query"}));
    QCOMPARE(driver.recovery()->scanner_kind(), int(scanner_raw));
    ticks.stop();
    QVERIFY2(longest_gap < 2000, qPrintable(QStringLiteral("the window stood still for %1 ms").arg(longest_gap)));
}

QTEST_MAIN(recovery_page_test)
#include "recovery_page_test.moc"
