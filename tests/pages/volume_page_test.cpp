// The volume page: its rows as painted (fill bars, names), its model, and the scan request
// through the main window from the button and from a double-click.

#include "common/app_state.h"
#include "disk/volume_delegate.h"
#include "disk/volume_enumeration.h"
#include "disk/volume_model.h"
#include "disk/volume_window.h"
#include "tests/pages/page_driver.h"
#include "settings/language.h"
#include "ui/main_window.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QSignalSpy>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace tarn;

namespace {

volume_item_s volume(const QString& label, const QString& mount, std::uint64_t total, std::uint64_t free_bytes)
{
    volume_item_s v;
    v.device = QStringLiteral("/dev/sdz1");
    v.label = label;
    v.mount_path = mount;
    v.fs_name = QStringLiteral("FAT32");
    v.total_bytes = total;
    v.free_bytes = free_bytes;
    v.free_known = true;
    return v;
}

} // namespace

class volume_page_test : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void bars_show_the_used_share_red_when_little_is_free();
    void unnamed_volumes_read_local_disk_and_their_path();
    void model_passes_the_model_tester();
    void scan_without_a_row_or_on_the_header_warns();
    void double_click_asks_the_main_window_to_scan();

private:
    // How many pixels of the bar's row at y = 15 show the fill image of that file.
    int filled_pixels(int row, const QString& image);
    QListView* list() const { return page()->findChild<QListView*>(QStringLiteral("lv_volumes")); }
    volume_window_c* page() const;
    // What a double-click delivers: press and release, then the double-click event.
    void double_click(const QPoint& at)
    {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, at);
    }

    std::unique_ptr<test::page_driver> driver_;
};

void volume_page_test::init()
{
    volume_list() = {volume_item_s{}, volume(QStringLiteral("DATA"), QStringLiteral("/mnt/data"), 1000, 100),
                     volume(QString(), QStringLiteral("C:\\"), 1000, 500),
                     volume(QStringLiteral("EMPTY"), QStringLiteral("/mnt/e"), 0, 0),
                     volume(QStringLiteral("ODD"), QStringLiteral("/mnt/odd"), 1000, 3000),
                     volume(QStringLiteral("NTFS"), QStringLiteral("/dev/sdz2"), 1000, 0)};
    volume_list().back().free_known = false;
    driver_ = std::make_unique<test::page_driver>();
    language_text("local_disk") = QStringLiteral("Local Disk");
}

void volume_page_test::cleanup()
{
    driver_.reset();
    volume_list().clear();
}

volume_window_c* volume_page_test::page() const
{
    return static_cast<volume_window_c*>(driver_->window().page(main_window_c::volume_page));
}

int volume_page_test::filled_pixels(int row, const QString& image)
{
    volume_model_c model(volume_list());
    volume_delegate_c delegate;
    QImage canvas(600, 30, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 600, 30);
    QPainter painter(&canvas);
    delegate.paint(&painter, option, model.index(row));
    painter.end();
    const QImage texture = QImage(image).convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int x = 0; x < 600; ++x)
        count += canvas.pixel(x, 15) == texture.pixel(x % texture.width(), (15 - 6) % texture.height());
    return count;
}

void volume_page_test::bars_show_the_used_share_red_when_little_is_free()
{
    const QString red = QStringLiteral(":/images/partition_search/red.png");
    const QString green = QStringLiteral(":/images/partition_search/green.png");
    // A 600-pixel row has a bar of 0.53 × 600 − 170 = 148 pixels, filled to the used share less 2.
    QCOMPARE(filled_pixels(1, red), 131); // 10 % free: 90 % of the bar, red
    QCOMPARE(filled_pixels(1, green), 0);
    QCOMPARE(filled_pixels(2, green), 72); // half free: half the bar, green
    QCOMPARE(filled_pixels(2, red), 0);
    QCOMPARE(filled_pixels(3, red) + filled_pixels(3, green), 0); // size unknown: no fill
    // More free than total (a racy size query) fills nothing rather than painting backwards.
    QCOMPARE(filled_pixels(4, red) + filled_pixels(4, green), 0);
    // Free space never counted (an unmounted NTFS volume): no bar, and not "nearly full".
    QCOMPARE(filled_pixels(5, red) + filled_pixels(5, green), 0);
    QVERIFY(!volume_delegate_c::nearly_full(volume_list().back()));
    QVERIFY(volume_delegate_c::nearly_full(volume({}, "/x", 1000, 200)));
    QVERIFY(!volume_delegate_c::nearly_full(volume({}, "/x", 1000, 201)));
}

void volume_page_test::unnamed_volumes_read_local_disk_and_their_path()
{
    QCOMPARE(volume_delegate_c::display_name(volume_list()[2]), QStringLiteral("Local Disk (C:)"));
    QCOMPARE(volume_delegate_c::display_name(volume_list()[1]), QStringLiteral("DATA (/mnt/data)"));
    QCOMPARE(volume_delegate_c::display_name(volume({}, "/", 1, 1)), QStringLiteral("Local Disk (/)"));
}

void volume_page_test::model_passes_the_model_tester()
{
    volume_model_c model(volume_list());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 6);
    QCOMPARE(model.rowCount(model.index(1)), 0);
    QCOMPARE(model.data(model.index(1)).value<volume_item_s>().label, QStringLiteral("DATA"));
    QVERIFY(!model.data(model.index(1), Qt::DecorationRole).isValid());
    QCOMPARE(list()->sizeHintForRow(1), 30);
}

void volume_page_test::scan_without_a_row_or_on_the_header_warns()
{
    auto* scan = page()->findChild<QPushButton*>(QStringLiteral("btn_scan"));
    QTest::mouseClick(scan, Qt::LeftButton);
    QCOMPARE(test::keys_of(driver_->fixture().take_boxes()), QStringList{"scan_nosel_warning"});

    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualRect(list()->model()->index(0, 0)).center());
    QTest::mouseClick(scan, Qt::LeftButton);
    QCOMPARE(test::keys_of(driver_->fixture().take_boxes()), QStringList{"main_warning2"});
    QCOMPARE(driver_->window().currentPage(), page());

    // A refresh lists the volumes again (here: of a disk image that does not exist) and leaves no
    // row chosen.
    qputenv("TARN_DISKS", QFile::encodeName(driver_->fixture().path("none.img")));
    QSignalSpy refreshed(page(), &volume_window_c::volumes_refreshed);
    QTest::mouseClick(page()->findChild<QPushButton*>(QStringLiteral("btn_refresh")), Qt::LeftButton);
    QVERIFY(refreshed.wait());
    qunsetenv("TARN_DISKS");
    QCOMPARE(list()->model()->rowCount(), 1);
    QVERIFY(!list()->currentIndex().isValid());
    QTest::mouseClick(scan, Qt::LeftButton);
    QCOMPARE(test::keys_of(driver_->fixture().take_boxes()), QStringList{"scan_nosel_warning"});
}

void volume_page_test::double_click_asks_the_main_window_to_scan()
{
    const QPoint header = list()->visualRect(list()->model()->index(0, 0)).center();
    double_click(header);
    QCOMPARE(test::keys_of(driver_->fixture().take_boxes()), QStringList{"main_warning2"});
    // A file system no engine reads: the recovery page refuses and the volume page stays.
    volume_list()[1].fs_name = QStringLiteral("ext4");
    page()->show_volumes();
    const QPoint data = list()->visualRect(list()->model()->index(1, 0)).center();
    double_click(data);
    QVERIFY(driver_->fixture().take_boxes().empty());
    QCOMPARE(driver_->window().currentPage(), page());
}

QTEST_MAIN(volume_page_test)
#include "volume_page_test.moc"
