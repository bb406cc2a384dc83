#include "ui/main_window.h"

#include "common/app_state.h"
#include "disk/drive_window.h"
#include "disk/image_opener.h"
#include "disk/volume_window.h"
#include "partition/partition_window.h"
#include "platform/physical_drives.h"
#include "platform/shell_open.h"
#include "recovery/recovery_window.h"
#include "ui/help_window.h"
#include "ui/home_window.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "ui/ui_main_form.h"
#include "widgets/warning_box.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>

#include <utility>

namespace tarn {

namespace {

const QString box_title = QStringLiteral("TarnRecovery");
const QString window_title = QStringLiteral("Quillmere");

} // namespace

QString help_page_path()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/help/index.html");
}

main_window_c::main_window_c(QWidget* parent) : QSkinWidget(parent), ui_(std::make_unique<Ui::MainForm>())
{
    ui_->setupUi(this);
    home_ = new home_window_c(this);
    volume_ = new volume_window_c(this);
    drive_ = new drive_window_c(this);
    partition_ = new partition_window_c(this);
    recovery_ = new recovery_window_c(this);
    for (QWidget* p : {page(0), page(1), page(2), page(3), page(4)}) {
        // The window's face is transparent inside the frame: each page paints its own ground.
        p->setAutoFillBackground(true);
        ui_->gridLayout->addWidget(p, 0, 0, 1, 1);
        p->setVisible(p == home_);
    }
    home_->raise();
    current_ = home_;
    QSizePolicy policy = sizePolicy();
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setWindowIcon(QIcon(QStringLiteral(":/images/top.ico")));
    opener_ = new image_opener_c(this);
    connect(opener_, &image_opener_c::images_opened, this, &main_window_c::onImagesOpened);
    connect(this, &QSkinWidget::imageRequested, this, &main_window_c::openImages);
    connect(partition_, &partition_window_c::scan_find, this, &main_window_c::on_scan_find);
}

main_window_c::~main_window_c() = default;

QWidget* main_window_c::page(int index) const
{
    switch (index) {
    case home_page: return home_;
    case volume_page: return volume_;
    case drive_page: return drive_;
    case partition_page: return partition_;
    case recovery_page: return recovery_;
    default: return nullptr;
    }
}

void main_window_c::showPage(int index)
{
    QWidget* next = page(index);
    if (!next)
        return;
    current_->hide();
    next->raise();
    current_ = next;
    next->show();
    update();
}

void main_window_c::resetScan()
{
    recovery_->abandon_scan();
    recovery_->clear();
}

bool main_window_c::startupDone()
{
    if (init_done == 1)
        return true;
    warning_box(box_title, "startup_warning", QMessageBox::Ok, this);
    return false;
}

bool main_window_c::leaveScanConfirmed()
{
    if (!scan_running)
        return true;
    return warning_box(box_title, "back_warning", QMessageBox::Yes | QMessageBox::No, this) != QMessageBox::No;
}

void main_window_c::on_click_home_start()
{
    if (!startupDone())
        return;
    volume_->set_deep(raw_scan_);
    showPage(volume_page);
}

void main_window_c::on_click_home_resume()
{
    if (startupDone() && recovery_->open_scan_file() != -1)
        showPage(recovery_page);
}

void main_window_c::on_click_volume_back()
{
    showPage(home_page);
}

void main_window_c::on_click_recovery_back()
{
    if (!leaveScanConfirmed())
        return;
    resetScan();
    showPage(std::exchange(scanning_find_, false) ? partition_page : volume_page);
}

void main_window_c::on_click_volume_refresh()
{
    volume_->refresh_volumes();
}

void main_window_c::on_click_volume_scan()
{
    const volume_item_s* volume = volume_->selected_volume();
    if (!volume)
        return;
    if (volume->device.isEmpty()) {
        warning_box(window_title, "main_warning2", QMessageBox::NoButton, nullptr);
        return;
    }
    if (recovery_->start_scan(*volume, raw_scan_, volume_->lost_search()) != -1) {
        scanning_find_ = false;
        showPage(recovery_page);
    }
}

void main_window_c::on_click_drive_scan()
{
    const drive_item_s* drive = drive_->selected_drive();
    if (!drive || drive->path.isEmpty()) {
        warning_box(window_title, "main_warning1", QMessageBox::NoButton, nullptr);
        return;
    }
    partition_->start_search(*drive);
    showPage(partition_page);
}

void main_window_c::on_click_drive_refresh()
{
    drive_->refresh_drives();
}

void main_window_c::on_click_drive_back()
{
    showPage(home_page);
}

void main_window_c::on_click_partition_back()
{
    partition_->stop_search();
    showPage(volume_page);
}

void main_window_c::on_scan_find(const volume_item_s& volume, bool deep)
{
    if (recovery_->start_scan(volume, deep) == -1)
        return;
    scanning_find_ = true;
    showPage(recovery_page);
}

void main_window_c::on_click_open_image()
{
    openImages(QString());
}

void main_window_c::openImages(const QString& path)
{
    // The disks are listed again once the images are open, which needs the first listing done.
    if (!startupDone() || opener_->busy())
        return;
    opener_->open(path.isEmpty() ? choose_disk_images(this) : QStringList{path});
}

void main_window_c::onImagesOpened(int count)
{
    if (count == 0)
        return;
    drive_->refresh_drives();
    volume_->refresh_volumes();
}

void main_window_c::on_init_finished()
{
    volume_->show_volumes();
    drive_->show_drives();
    // An image of TARN_DISKS that cannot be read is left out of both lists, and said so.
    for (const QString& error : image_mode_refusals()) {
        warning_extra_s extra;
        extra.detail = error.toHtmlEscaped();
        warning_box(box_title, "image_open_failed", QMessageBox::Ok, this, extra);
    }
}

void main_window_c::on_click_tab(int tab)
{
    if (!startupDone() || !leaveScanConfirmed())
        return;
    if (tab != 2)
        raw_scan_ = tab == 3;
    scanning_find_ = false;
    resetScan();
    if (tab != 2)
        volume_->set_deep(raw_scan_);
    showPage(tab == 2 ? drive_page : volume_page);
}

void main_window_c::on_click_close()
{
    if (scan_running &&
        warning_box(box_title, "quit_warning", QMessageBox::Yes | QMessageBox::No, this) != QMessageBox::Yes)
        return;
    close();
}

void main_window_c::on_click_help()
{
    // The desktop's browser shows the page when it can. Without a handler for it, or without the
    // page beside the program to hand over, the program shows it itself.
    const QString page = help_page_path();
    if (QFileInfo(page).isFile() && open_in_shell(page) == 0)
        return;
    if (!help_)
        help_ = new help_window_c(page, this);
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void main_window_c::on_click_language()
{
    const auto* entry = qobject_cast<QAction*>(sender());
    if (!entry)
        return;
    const int index = entry->data().toInt();
    if (index == language_index || index < 0 || index >= language_names.size())
        return;
    settings_language = language_names[index];
    language_index = index;
    save_settings();
    warning_box(box_title, "language_warning", QMessageBox::Ok, this);
}

} // namespace tarn
