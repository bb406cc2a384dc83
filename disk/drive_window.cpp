#include "disk/drive_window.h"

#include "disk/drive_delegate.h"
#include "disk/drive_enumeration.h"
#include "disk/drive_model.h"
#include "disk/ui_drive_form.h"
#include "platform/physical_drives.h"
#include "settings/language.h"
#include "widgets/page_button.h"
#include "widgets/page_painting.h"

#include <QPainter>
#include <QThread>

namespace tarn {

drive_window_c::drive_window_c(QObject* receiver) : QWidget(nullptr), ui_(std::make_unique<Ui::DriveForm>())
{
    ui_->setupUi(this);
    ui_->lv_drives->setItemDelegate(new drive_delegate_c(this));
    ui_->lv_drives->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    ui_->lv_drives->setResizeMode(QListView::Adjust);
    prepare_page_button(ui_->btn_back, "btn_back");
    prepare_page_button(ui_->btn_refresh, "btn_refresh");
    prepare_page_button(ui_->btn_scan, "btn_scan");
    connect(ui_->btn_refresh, SIGNAL(clicked()), receiver, SLOT(on_click_drive_refresh()));
    connect(ui_->btn_back, SIGNAL(clicked()), receiver, SLOT(on_click_drive_back()));
    connect(ui_->btn_scan, SIGNAL(clicked()), receiver, SLOT(on_click_drive_scan()));
}

drive_window_c::~drive_window_c()
{
    if (refresh_)
        refresh_->wait();
}

const drive_item_s* drive_window_c::selected_drive()
{
    const QModelIndex current = ui_->lv_drives->currentIndex();
    const auto& drives = drive_list();
    if (!current.isValid() || static_cast<std::size_t>(current.row()) >= drives.size())
        return nullptr;
    return &drives[static_cast<std::size_t>(current.row())];
}

void drive_window_c::show_drives()
{
    set_model();
    ui_->lv_drives->setCurrentIndex(model_->index(1, 0));
}

void drive_window_c::refresh_drives()
{
    if (refresh_)
        return;
    ui_->lv_drives->setCurrentIndex({});
    // Opening and measuring disks can stall on a slow or failing device, so it runs on a thread
    // of its own; drive_list() itself changes only here on the user-interface thread.
    refresh_.reset(QThread::create([this, paths = physical_drive_paths()] { refreshed_ = list_drives(paths); }));
    connect(refresh_.get(), &QThread::finished, this, &drive_window_c::on_refresh_finished);
    refresh_->start();
}

void drive_window_c::on_refresh_finished()
{
    refresh_->wait();
    refresh_.reset();
    drive_list() = std::move(refreshed_);
    refreshed_.clear();
    set_model();
    emit drives_refreshed();
}

void drive_window_c::set_model()
{
    auto* previous = model_;
    model_ = new drive_model_c(drive_list(), this);
    replace_view_model(*ui_->lv_drives, model_, previous);
}

void drive_window_c::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint_page_band(painter, width(), language_text("volume_select"));
}

void drive_window_c::resizeEvent(QResizeEvent*)
{
    const int w = width();
    const int h = height();
    ui_->btn_back->move(175, h - 54);
    ui_->btn_refresh->move(w / 2 - 50, h - 54);
    ui_->btn_scan->move(w - 275, h - 54);
    ui_->lv_drives->setGeometry(25, 45, w - 50, h - 140);
}

} // namespace tarn
