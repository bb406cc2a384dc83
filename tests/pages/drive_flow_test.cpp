// From the drive list to the repaired disk in the main window, under real clicks: the scan
// refusals, refreshing, leaving a running search, and a lost partition table written back.

#include "common/app_state.h"
#include "disk/drive_enumeration.h"
#include "disk/drive_window.h"
#include "disk/volume_enumeration.h"
#include "partition/partition_window.h"
#include "tests/pages/page_images.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/test_support.h"
#include "settings/language.h"
#include "ui/main_window.h"

#include <QFile>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

#include <memory>

using namespace tarn;

class drive_flow_test : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void no_disks_shows_the_header_only_and_scan_warns();
    void header_row_and_refresh_leave_no_disk_to_scan();
    void back_stops_a_running_search();
    void lost_table_found_and_written_back();

private:
    void start(const QStringList& disks);
    void click(QWidget* page, const char* name);
    void click_row(int row);
    QListView* drives() const;
    partition_window_c* partition_page() const;
    int page_index() const;

    std::unique_ptr<test::shell_fixture> fixture_;
    std::unique_ptr<main_window_c> window_;
};

void drive_flow_test::init()
{
    fixture_ = std::make_unique<test::shell_fixture>();
    qputenv("XDG_DATA_HOME", fixture_->path(QStringLiteral("data")).toUtf8());
    language_text("btn_start") = QStringLiteral("Start again");
    init_done = 0;
    window_ = std::make_unique<main_window_c>();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void drive_flow_test::cleanup()
{
    window_.reset();
    fixture_.reset();
    qunsetenv("TARN_DISKS");
    drive_list().clear();
    volume_list().clear();
}

// Start-up as the worker does it, on the given images, then tab 2.
void drive_flow_test::start(const QStringList& disks)
{
    qputenv("TARN_DISKS", disks.join(QLatin1Char(':')).toUtf8());
    enumerate_drives();
    init_done = 1;
    window_->on_init_finished();
    QTest::mouseClick(window_.get(), Qt::LeftButton, {}, QPoint(50 + 103, 60));
    QCOMPARE(page_index(), 2);
}

void drive_flow_test::click(QWidget* page, const char* name)
{
    auto* button = page->findChild<QPushButton*>(QString::fromLatin1(name));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

void drive_flow_test::click_row(int row)
{
    const QRect rect = drives()->visualRect(drives()->model()->index(row, 0));
    QTest::mouseClick(drives()->viewport(), Qt::LeftButton, {}, rect.center());
}

QListView* drive_flow_test::drives() const
{
    return window_->page(main_window_c::drive_page)->findChild<QListView*>(QStringLiteral("lv_drives"));
}

partition_window_c* drive_flow_test::partition_page() const
{
    return static_cast<partition_window_c*>(window_->page(main_window_c::partition_page));
}

int drive_flow_test::page_index() const
{
    for (int i = 0; i < 5; ++i)
        if (window_->currentPage() == window_->page(i))
            return i;
    return -1;
}

void drive_flow_test::no_disks_shows_the_header_only_and_scan_warns()
{
    start({fixture_->path(QStringLiteral("missing.img"))});
    QCOMPARE(drives()->model()->rowCount(), 1);
    // The image that could not be read is named once the lists are shown, not passed over.
    QCOMPARE(test::keys_of(fixture_->take_boxes()), QStringList{QStringLiteral("image_open_failed")});
    click(window_->page(main_window_c::drive_page), "btn_scan");
    QCOMPARE(test::keys_of(fixture_->take_boxes()), QStringList{QStringLiteral("main_warning1")});
    QCOMPARE(page_index(), 2);
    QVERIFY(!partition_page()->search().drive());
}

void drive_flow_test::header_row_and_refresh_leave_no_disk_to_scan()
{
    const QString a = fixture_->path(QStringLiteral("a.img"));
    const QString b = fixture_->path(QStringLiteral("b.img"));
    QCOMPARE(test::make_sparse_file(a, 64ull << 20), 0);
    QCOMPARE(test::make_sparse_file(b, 32ull << 20), 0);
    start({a});
    QWidget* page = window_->page(main_window_c::drive_page);
    QCOMPARE(drives()->model()->rowCount(), 2);
    QCOMPARE(drives()->currentIndex().row(), 1);

    // After a larger window and back, the rows are as wide as the list again: no column hides
    // behind a scroll bar.
    window_->resize(1400, 900);
    QTRY_COMPARE(drives()->visualRect(drives()->model()->index(1, 0)).width(), drives()->viewport()->width());
    window_->resize(800, 600);
    QTRY_COMPARE(drives()->visualRect(drives()->model()->index(1, 0)).width(), drives()->viewport()->width());
    QCOMPARE(drives()->horizontalScrollBar()->maximum(), 0);

    click_row(0);
    QCOMPARE(drives()->currentIndex().row(), 0);
    click(page, "btn_scan");
    QCOMPARE(test::keys_of(fixture_->take_boxes()), QStringList{QStringLiteral("main_warning1")});
    QCOMPARE(page_index(), 2);
    QVERIFY(!partition_page()->search().drive());

    qputenv("TARN_DISKS", (a + QLatin1Char(':') + b).toUtf8());
    QSignalSpy refreshed(static_cast<drive_window_c*>(page), &drive_window_c::drives_refreshed);
    click(page, "btn_refresh");
    QVERIFY(refreshed.wait());
    QCOMPARE(drives()->model()->rowCount(), 3);
    QVERIFY(!drives()->currentIndex().isValid());
    click(page, "btn_scan");
    QCOMPARE(test::keys_of(fixture_->take_boxes()), QStringList{QStringLiteral("main_warning1")});

    click_row(2);
    click(page, "btn_scan");
    QVERIFY(fixture_->take_boxes().empty());
    QCOMPARE(page_index(), 3);
    QCOMPARE(partition_page()->search().drive()->path, b);
    QTRY_VERIFY(!partition_page()->search().isRunning());
}

void drive_flow_test::back_stops_a_running_search()
{
    const QString huge = fixture_->path(QStringLiteral("huge.img"));
    QCOMPARE(test::make_lost_partitions_image(huge, 1ull << 40), 0);
    start({huge});
    click(window_->page(main_window_c::drive_page), "btn_scan");
    QCOMPARE(page_index(), 3);
    QTRY_COMPARE(partition_page()->findChild<QListView*>()->model()->rowCount(), 2);
    QVERIFY(partition_page()->search().isRunning());
    click(partition_page(), "btn_back");
    QCOMPARE(page_index(), 1);
    QCOMPARE(partition_page()->findChild<QPushButton*>(QStringLiteral("btn_stop"))->text(),
             QStringLiteral("Start again"));
    QTRY_VERIFY(!partition_page()->search().isRunning());
    QVERIFY(partition_page()->search().progress() < 1.0);
}

void drive_flow_test::lost_table_found_and_written_back()
{
    const QString disk = fixture_->path(QStringLiteral("disk.img"));
    QCOMPARE(test::make_lost_partitions_image(disk, 200'000ull * 512), 0);
    const QByteArray before = test::sector0(disk);
    start({disk});
    enumerate_volumes();
    for (const auto& volume : volume_list())
        QVERIFY2(volume.fs_name.isEmpty(), qPrintable(volume.fs_name));

    click_row(1);
    click(window_->page(main_window_c::drive_page), "btn_scan");
    QCOMPARE(page_index(), 3);
    QTRY_VERIFY(!partition_page()->search().isRunning());
    // Each find replaces the model: look it up anew.
    const auto model = [this] { return partition_page()->findChild<QListView*>(QStringLiteral("lv_volumes"))->model(); };
    QTRY_COMPARE(model()->rowCount(), 2);
    const auto ntfs = model()->index(0, 0).data().value<partition_item_s>();
    const auto fat = model()->index(1, 0).data().value<partition_item_s>();
    QCOMPARE(ntfs.fs_name, QStringLiteral("NTFS"));
    QCOMPARE(ntfs.start_sector, 2048u);
    QCOMPARE(ntfs.end_sector, 18431u);
    QCOMPARE(fat.fs_name, QStringLiteral("FAT32"));
    QCOMPARE(fat.start_sector, 18432u);
    QCOMPARE(fat.end_sector, 100331u);

    QSignalSpy done(partition_page(), &partition_window_c::repair_done);
    fixture_->answer_next(QMessageBox::Yes);
    click(partition_page(), "btn_repair");
    QTRY_COMPARE(done.size(), 1);
    QCOMPARE(done[0][0].toInt(), 0);
    QCOMPARE(test::keys_of(fixture_->take_boxes()),
             (QStringList{QStringLiteral("partition_query"), QStringLiteral("partition_finished")}));

    const QByteArray after = test::sector0(disk);
    const auto* entries = reinterpret_cast<const uchar*>(after.constData()) + 446;
    QCOMPARE(int(entries[0]), 0x80);
    QCOMPARE(int(entries[4]), 0x07);
    QCOMPARE(qFromLittleEndian<quint32>(entries + 8), 2048u);
    QCOMPARE(qFromLittleEndian<quint32>(entries + 12), 16384u);
    QCOMPARE(int(entries[16]), 0x00);
    QCOMPARE(int(entries[16 + 4]), 0x0C);
    QCOMPARE(qFromLittleEndian<quint32>(entries + 16 + 8), 18432u);
    QCOMPARE(qFromLittleEndian<quint32>(entries + 16 + 12), 81900u);

    QFile backup(partition_page()->search().backup_path());
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), before);

    enumerate_volumes();
    QStringList systems;
    for (const auto& volume : volume_list())
        if (!volume.fs_name.isEmpty())
            systems << volume.fs_name;
    QCOMPARE(systems, (QStringList{QStringLiteral("NTFS"), QStringLiteral("FAT32")}));
}

QTEST_MAIN(drive_flow_test)
#include "drive_flow_test.moc"
