// Opening disk images from the window: the drive and volume pages' buttons and the settings
// menu's entry and recent list, a refused file told by name, the image listed as one more disk.

#include "common/app_state.h"
#include "disk/drive_enumeration.h"
#include "disk/drive_window.h"
#include "disk/image_opener.h"
#include "disk/volume_enumeration.h"
#include "disk/volume_window.h"
#include "settings/settings.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/test_support.h"
#include "ui/main_window.h"

#include <QFile>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace tarn;

class image_window_test : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void opened_images_become_disks_and_refusals_are_named();

private:
    void click(int page, const char* name);

    std::unique_ptr<test::shell_fixture> fixture_;
    std::unique_ptr<main_window_c> window_;
};

void image_window_test::init()
{
    fixture_ = std::make_unique<test::shell_fixture>();
    const QString disk = fixture_->path("disk.img");
    QCOMPARE(test::make_sparse_file(disk, 4ull << 20), 0);
    qputenv("TARN_DISKS", disk.toUtf8());
    init_done = 0;
    window_ = std::make_unique<main_window_c>();
    enumerate_drives();
    enumerate_volumes();
    init_done = 1;
    window_->on_init_finished();
}

void image_window_test::cleanup()
{
    set_image_chooser({});
    window_.reset();
    fixture_.reset();
    qunsetenv("TARN_DISKS");
    drive_list().clear();
    volume_list().clear();
}

void image_window_test::click(int page, const char* name)
{
    auto* button = window_->page(page)->findChild<QPushButton*>(QString::fromLatin1(name));
    QVERIFY(button);
    QVERIFY(button->isVisible() || !window_->page(page)->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
}

void image_window_test::opened_images_become_disks_and_refusals_are_named()
{
    const QString raw = fixture_->path("stick.img");
    const QString image = fixture_->path("stick.vmdk");
    QCOMPARE(test::format_fat(raw, 0, 32768, 16, "STICK"), 0);
    QCOMPARE(test::run_tool("qemu-img", {"convert", "-O", "vmdk", raw, image}), 0);
    const QString broken = fixture_->path("broken.vmdk");
    QFile descriptor(broken);
    QVERIFY(descriptor.open(QIODevice::WriteOnly));
    descriptor.write("# Disk DescriptorFile\nversion=1\nRW 100 SPARSE \"gone.vmdk\"\n");
    descriptor.close();

    // The volume page's button: one image opens, the other is refused by name.
    set_image_chooser([&] { return QStringList{broken, image}; });
    window_->showPage(main_window_c::volume_page);
    QSignalSpy volumes(static_cast<volume_window_c*>(window_->page(main_window_c::volume_page)),
                       &volume_window_c::volumes_refreshed);
    QSignalSpy drives(static_cast<drive_window_c*>(window_->page(main_window_c::drive_page)),
                      &drive_window_c::drives_refreshed);
    click(main_window_c::volume_page, "btn_open_image");
    QTRY_COMPARE(volumes.count(), 1);
    QTRY_COMPARE(drives.count(), 1);
    const auto boxes = fixture_->take_boxes();
    QCOMPARE(test::keys_of(boxes), QStringList{"image_open_failed"});
    QVERIFY2(boxes[0].detail.contains(broken), qPrintable(boxes[0].detail));
    QCOMPARE(drive_list().size(), 3u);
    QCOMPARE(drive_list()[2].path, image);
    QCOMPARE(drive_list()[2].size, 16ull << 20);
    const auto listed = std::find_if(volume_list().begin(), volume_list().end(),
                                     [&](const volume_item_s& v) { return v.mount_path == image + "#0"; });
    QVERIFY(listed != volume_list().end());
    QCOMPARE(listed->fs_name, "FAT16");
    QCOMPARE(listed->label, "STICK");
    QCOMPARE(recent_images(), QStringList{image});

    // The settings menu lists it among the recent images; opening it again adds no disk.
    QMenu* menu = window_->settingsMenu();
    emit menu->aboutToShow();
    QMenu* recent = menu->actions().at(3)->menu();
    QVERIFY(recent && recent->isEnabled());
    QCOMPARE(recent->actions().size(), 1);
    QCOMPARE(recent->actions().at(0)->text(), image);
    recent->actions().at(0)->trigger();
    QTRY_COMPARE(drives.count(), 2);
    QCOMPARE(drive_list().size(), 3u);
    QVERIFY(fixture_->take_boxes().empty());

    // The drive page's button with the dialog cancelled, and the menu's entry: nothing changes.
    set_image_chooser([] { return QStringList(); });
    window_->showPage(main_window_c::drive_page);
    click(main_window_c::drive_page, "btn_open_image");
    menu->actions().at(2)->trigger();
    QTest::qWait(50);
    QCOMPARE(drives.count(), 2);
    QVERIFY(fixture_->take_boxes().empty());
}

QTEST_MAIN(image_window_test)
#include "image_window_test.moc"
