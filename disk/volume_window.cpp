#include "disk/volume_window.h"

#include "disk/deep_scan_extras.h"
#include "disk/drive_enumeration.h"
#include "disk/ui_volume_form.h"
#include "disk/volume_delegate.h"
#include "disk/volume_enumeration.h"
#include "disk/volume_model.h"
#include "platform/system.h"
#include "scan/disk_sector_layer.h"
#include "settings/language.h"
#include "widgets/page_button.h"
#include "widgets/page_painting.h"
#include "widgets/warning_box.h"

#include <QCheckBox>
#include <QPainter>
#include <QThread>

namespace tarn {

namespace {

constexpr int open_image_width = 140;

} // namespace

volume_window_c::volume_window_c(QObject* receiver)
    : QWidget(nullptr), ui_(std::make_unique<Ui::VolumeForm>()), receiver_(receiver)
{
    ui_->setupUi(this);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    ui_->lv_volumes->setItemDelegate(new volume_delegate_c(ui_->lv_volumes));
    ui_->lv_volumes->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    ui_->lv_volumes->setResizeMode(QListView::Adjust);
    prepare_page_button(ui_->btn_back, "btn_back");
    prepare_page_button(ui_->btn_refresh, "btn_refresh");
    prepare_page_button(ui_->btn_scan, "btn_scan");
    prepare_page_button(ui_->btn_open_image, "btn_open_image");
    ui_->btn_open_image->resize(open_image_width, ui_->btn_open_image->height());
    lost_box_ = new QCheckBox(language_text("volume_lost_search"), this);
    lost_box_->adjustSize();
    if (receiver_) {
        // The receiver is the main window, which lives above this library: reached by name.
        connect(ui_->btn_scan, SIGNAL(clicked()), receiver_, SLOT(on_click_volume_scan()));
        connect(this, SIGNAL(start_scan()), receiver_, SLOT(on_click_volume_scan()));
        connect(ui_->btn_back, SIGNAL(clicked()), receiver_, SLOT(on_click_volume_back()));
        connect(ui_->btn_refresh, SIGNAL(clicked()), receiver_, SLOT(on_click_volume_refresh()));
        connect(ui_->btn_open_image, SIGNAL(clicked()), receiver_, SLOT(on_click_open_image()));
    }
    connect(ui_->lv_volumes, &QListView::doubleClicked, this, &volume_window_c::on_double_clicked);
}

volume_window_c::~volume_window_c()
{
    if (refresh_)
        refresh_->wait();
}

const volume_item_s* volume_window_c::selected_volume()
{
    const QModelIndex current = ui_->lv_volumes->currentIndex();
    const auto row = static_cast<std::size_t>(current.row());
    if (!current.isValid() || row >= shown_->size()) {
        warning_box(QStringLiteral("TarnRecovery"), "scan_nosel_warning", QMessageBox::Ok, this);
        return nullptr;
    }
    return &(*shown_)[row];
}

void volume_window_c::show_volumes()
{
    auto list = std::make_unique<std::vector<volume_item_s>>(volume_list());
    if (deep_)
        list->insert(list->end(), extras_.begin(), extras_.end());
    volume_model_c* previous = model_;
    model_ = new volume_model_c(*list, this);
    replace_view_model(*ui_->lv_volumes, model_, previous);
    shown_ = std::move(list);
}

bool volume_window_c::lost_search() const
{
    return !deep_ && lost_box_->isChecked();
}

void volume_window_c::set_deep(bool deep)
{
    deep_ = deep;
    lost_box_->setVisible(!deep_);
    show_volumes();
    if (deep_ && !extras_known_)
        refresh_volumes();
}

void volume_window_c::refresh_volumes()
{
    if (refresh_)
        return;
    ui_->lv_volumes->setCurrentIndex({});
    // Probing volumes and reopening drives can stall on a slow or failing device: a thread of
    // its own does it, and volume_list() itself changes only here on the user-interface thread.
    // The language table is the interface thread's: the labels are taken here.
    const deep_scan_labels_s labels{language_text("volume_whole_disk"), language_text("volume_free_space")};
    refresh_.reset(QThread::create([this, drives = drive_list(), labels] {
        refreshed_ = build_volume_list(enumerate_volume_facts(), is_admin());
        refreshed_extras_ = build_deep_scan_extras(drives, labels);
        disk_rescan();
    }));
    connect(refresh_.get(), &QThread::finished, this, &volume_window_c::on_refresh_finished);
    refresh_->start();
}

void volume_window_c::on_refresh_finished()
{
    refresh_->wait();
    refresh_.reset();
    volume_list() = std::move(refreshed_);
    refreshed_.clear();
    extras_ = std::move(refreshed_extras_);
    refreshed_extras_.clear();
    extras_known_ = true;
    show_volumes();
    emit volumes_refreshed();
}

void volume_window_c::on_double_clicked(const QModelIndex&)
{
    emit start_scan();
}

void volume_window_c::resizeEvent(QResizeEvent*)
{
    const int w = width();
    const int h = height();
    ui_->btn_back->move(175, h - 54);
    ui_->btn_refresh->move(w / 2 - 50, h - 54);
    ui_->btn_scan->move(w - 275, h - 54);
    // Above Scan, which it changes, below the list.
    lost_box_->move(w - 275, h - 86);
    // Left of the back button: the captions of other languages are longer than the others'.
    ui_->btn_open_image->move(25, h - 54);
    ui_->lv_volumes->setGeometry(25, 45, w - 50, h - 140);
}

void volume_window_c::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint_page_band(painter, width(), language_text("volume_select"));
}

} // namespace tarn
