// A lost partition opened from the partition page, as a user would: its files listed (the live
// ones too) and copied out, nothing written to the disk; and the deep scan's list offering each
// disk whole and the space between partitions.

#include "common/app_state.h"
#include "disk/drive_enumeration.h"
#include "disk/volume_enumeration.h"
#include "partition/partition_window.h"
#include "scan/disk_sector_layer.h"
#include "scan/recovery_item.h"
#include "tests/pages/page_driver.h"
#include "tests/pages/page_images.h"
#include "tests/support/test_support.h"
#include "settings/language.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace tarn;

class found_partition_flow_test : public QObject {
    Q_OBJECT

private slots:
    void a_find_is_scanned_and_a_file_recovered_without_writing();
    void the_deep_scan_offers_whole_disks_and_gaps();
};

namespace {

QByteArray digest(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

QListView* list_of(QWidget* page, const char* name)
{
    return page->findChild<QListView*>(QString::fromLatin1(name));
}

// The skin's tab, clicked where it is painted.
void click_tab(main_window_c& window, int tab)
{
    QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(50 + 103 * (tab - 1), 60));
}

void double_click_row(QListView* view, int row)
{
    const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

void found_partition_flow_test::a_find_is_scanned_and_a_file_recovered_without_writing()
{
    QTemporaryDir dir;
    const QString disk = dir.filePath("disk.img");
    QCOMPARE(test::make_lost_partitions_image(disk, 200'000ull * 512), 0);
    const QString fat = disk + QStringLiteral("@@") + QString::number(18432ull * 512);
    const QString kept = dir.filePath("KEPT.TXT"), gone = dir.filePath("GONE.TXT");
    for (const auto& [path, size] : {std::pair{kept, 3000}, std::pair{gone, 5000}}) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(size, path == kept ? 'k' : 'g'));
    }
    QCOMPARE(test::run_mtools({"mcopy", "-i", fat, kept, gone, "::/"}), 0);
    QCOMPARE(test::run_mtools({"mdel", "-i", fat, "::/GONE.TXT"}), 0);
    const QByteArray before = digest(disk);

    qputenv("TARN_DISKS", disk.toUtf8());
    enumerate_volumes();
    enumerate_drives();
    QCOMPARE(disk_enumerate(), 1); // the FAT engine reads the disk through the sector layer
    test::page_driver driver;
    auto& window = driver.window();
    click_tab(window, 2);
    QListView* drives = list_of(window.page(main_window_c::drive_page), "lv_drives");
    QTest::mouseClick(drives->viewport(), Qt::LeftButton, {}, drives->visualRect(drives->model()->index(1, 0)).center());
    window.on_click_drive_scan();
    auto* partitions = static_cast<partition_window_c*>(window.page(main_window_c::partition_page));
    QCOMPARE(window.currentPage(), partitions);
    QTRY_VERIFY(!partitions->search().isRunning());
    // Each find replaces the model: looked up anew.
    QTRY_COMPARE(list_of(partitions, "lv_volumes")->model()->rowCount(), 2);
    QListView* finds = list_of(partitions, "lv_volumes");

    double_click_row(finds, 1); // the FAT32 find
    QCOMPARE(window.currentPage(), driver.recovery());
    QVERIFY(driver.wait_for_scan_end());
    auto* live = driver.recovery()->findChild<QCheckBox*>();
    QVERIFY(live && live->isVisible() && live->isChecked());
    QTest::mouseClick(driver.tree()->viewport(), Qt::LeftButton, {},
                      driver.tree()->visualRect(driver.tree()->model()->index(0, 0)).center());
    QVERIFY(driver.row_of(QStringLiteral("KEPT.TXT")) >= 0);
    QVERIFY(driver.row_of(QStringLiteral("#ONE.TXT")) >= 0);
    // Without live files only the deleted one stays.
    live->setChecked(false);
    QTest::mouseClick(driver.tree()->viewport(), Qt::LeftButton, {},
                      driver.tree()->visualRect(driver.tree()->model()->index(0, 0)).center());
    QCOMPARE(driver.row_of(QStringLiteral("KEPT.TXT")), -1);
    live->setChecked(true);
    QTest::mouseClick(driver.tree()->viewport(), Qt::LeftButton, {},
                      driver.tree()->visualRect(driver.tree()->model()->index(0, 0)).center());

    const int row = driver.row_of(QStringLiteral("KEPT.TXT"));
    QVERIFY(row >= 0);
    driver.click_cell(row, 0); // its tick
    const QString target = dir.filePath("out");
    QVERIFY(QDir().mkpath(target));
    test::answer_folder_dialog(target);
    QTest::mouseClick(driver.button("btn_recovery"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(target + "/KEPT.TXT") && QFileInfo(target + "/KEPT.TXT").size() == 3000, 20000);
    QCOMPARE(digest(target + "/KEPT.TXT"), digest(kept));
    QCOMPARE(digest(disk), before);

    // Back returns to the finds, not to the volume list.
    QTRY_VERIFY(!scan_running);
    window.on_click_recovery_back();
    driver.fixture().take_boxes();
    QCOMPARE(window.currentPage(), partitions);
    disk_shutdown();
    qunsetenv("TARN_DISKS");
}

void found_partition_flow_test::the_deep_scan_offers_whole_disks_and_gaps()
{
    QTemporaryDir dir;
    const QString disk = dir.filePath("disk.img");
    QCOMPARE(test::make_sparse_file(disk, 64ull << 20), 0);
    QCOMPARE(test::write_partition_table(disk, "label: dos\nstart=2048, size=20480, type=c\n"), 0);
    QCOMPARE(test::format_fat(disk, 2048, 20480, 32, "PART", 1), 0);
    qputenv("TARN_DISKS", disk.toUtf8());
    enumerate_volumes();
    enumerate_drives();
    test::page_driver driver;
    language_text("volume_whole_disk") = QStringLiteral("Whole disk");
    language_text("volume_free_space") = QStringLiteral("Free space on %1, %2 at %3");
    auto& window = driver.window();
    QListView* volumes = list_of(window.page(main_window_c::volume_page), "lv_volumes");
    QCOMPARE(volumes->model()->rowCount(), 2); // the header and the partition
    click_tab(window, 3);
    QTRY_COMPARE(volumes->model()->rowCount(), 4);
    const auto item = [&](int row) { return volumes->model()->index(row, 0).data().value<volume_item_s>(); };
    QCOMPARE(item(2).label, QStringLiteral("Whole disk"));
    QCOMPARE(item(2).total_bytes, 64ull << 20);
    const std::uint64_t gap = (64ull << 20) - (2048 + 20480) * 512ull;
    QCOMPARE(item(3).total_bytes, gap);
    QVERIFY2(item(3).label.startsWith(QStringLiteral("Free space on ") + disk), qPrintable(item(3).label));

    // The gap is scanned as a volume: its bytes are counted against its own size.
    double_click_row(volumes, 3);
    QCOMPARE(window.currentPage(), driver.recovery());
    QVERIFY(driver.wait_for_scan_end());
    click_tab(window, 1);
    QCOMPARE(volumes->model()->rowCount(), 2);
    qunsetenv("TARN_DISKS");
}

QTEST_MAIN(found_partition_flow_test)
#include "found_partition_flow_test.moc"
