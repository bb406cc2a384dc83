#include "partition/partition_window.h"

#include "common/format_size.h"
#include "partition/found_partition_volume.h"
#include "partition/partition_delegate.h"
#include "partition/partition_model.h"
#include "partition/partition_plan_text.h"
#include "partition/partition_search.h"
#include "partition/ui_partition_form.h"
#include "settings/language.h"
#include "widgets/list_row_painter.h"
#include "widgets/page_button.h"
#include "widgets/page_painting.h"
#include "widgets/warning_box.h"

#include <QMenu>
#include <QPainter>
#include <QThread>

namespace tarn {

namespace {

const QString box_title = QStringLiteral("TarnRecovery");
// The list starts below the row of its column captions.
constexpr int list_top = 114 + list_row_height;

} // namespace

partition_window_c::partition_window_c(QObject* receiver)
    : QWidget(nullptr), ui_(std::make_unique<Ui::PartitionForm>())
{
    ui_->setupUi(this);
    show_rows({});
    ui_->lv_volumes->setItemDelegate(new partition_delegate_c(this));
    ui_->lv_volumes->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    ui_->lv_volumes->setResizeMode(QListView::Adjust);
    prepare_page_button(ui_->btn_repair, "btn_repair");
    prepare_page_button(ui_->btn_back, "btn_back");
    prepare_page_button(ui_->btn_stop, "btn_stop");
    connect(&search_, &partition_repair_c::partition_found, this, &partition_window_c::on_partition_found);
    connect(&search_, &QThread::finished, this, &partition_window_c::on_thread_finished);
    connect(ui_->btn_stop, &QPushButton::clicked, this, &partition_window_c::on_stop_clicked);
    connect(&timer_, &QTimer::timeout, this, &partition_window_c::on_timer);
    connect(ui_->btn_back, SIGNAL(clicked()), receiver, SLOT(on_click_partition_back()));
    connect(ui_->btn_repair, &QPushButton::clicked, this, &partition_window_c::on_repair_clicked);
    // A find is opened before anything is written: its files are listed and copied out first.
    connect(ui_->lv_volumes, &QListView::doubleClicked, this, [this](const QModelIndex& index) { open_find(index, false); });
    ui_->lv_volumes->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui_->lv_volumes, &QListView::customContextMenuRequested, this, &partition_window_c::on_find_menu);
    timer_.start(400);
    bar_.prepare(QStringLiteral(":/images/partition_search/loding_on.png"), QColor(226, 240, 253));
}

partition_window_c::~partition_window_c()
{
    if (repair_)
        repair_->wait();
    search_.stop_search();
}

int partition_window_c::start_search(const drive_item_s& drive)
{
    pending_ = drive;
    if (search_.isRunning() && !stopping_) {
        search_.request_stop();
        stopping_ = true;
    }
    start_pending();
    return 0;
}

void partition_window_c::stop_search()
{
    pending_.reset();
    if (!search_.isRunning())
        return;
    if (!stopping_) {
        search_.request_stop();
        stopping_ = true;
    }
    ui_->btn_stop->setText(language_text("btn_start"));
}

void partition_window_c::start_pending()
{
    if (!pending_ || search_.isRunning() || repairing_)
        return;
    search_.set_drive(*pending_);
    pending_.reset();
    stopping_ = false;
    outcome_ = outcome_e::none;
    show_rows({});
    bar_.value = 0.0;
    // After a finished search the button reads "Start"; a running search offers its stop.
    ui_->btn_stop->setText(language_text("btn_stop"));
    search_.start_search();
    update();
}

std::optional<volume_item_s> partition_window_c::find_volume(const QModelIndex& index) const
{
    const std::optional<drive_item_s> drive = search_.drive();
    if (!index.isValid() || !drive || rows_ == nullptr || static_cast<std::size_t>(index.row()) >= rows_->size())
        return std::nullopt;
    return found_partition_volume(*drive, (*rows_)[static_cast<std::size_t>(index.row())]);
}

void partition_window_c::open_find(const QModelIndex& index, bool deep)
{
    const std::optional<volume_item_s> volume = find_volume(index);
    if (!volume || repairing_)
        return;
    // The scan reads the same disk: the search gives way, its finds so far stay listed.
    stop_search();
    emit scan_find(*volume, deep);
}

void partition_window_c::on_find_menu(const QPoint& at)
{
    const QModelIndex index = ui_->lv_volumes->indexAt(at);
    if (!find_volume(index))
        return;
    QMenu menu(this);
    const QAction* files = menu.addAction(language_text("partition_scan_files"));
    const QAction* deep = menu.addAction(language_text("partition_deep_scan"));
    const QAction* chosen = menu.exec(ui_->lv_volumes->viewport()->mapToGlobal(at));
    if (chosen == files || chosen == deep)
        open_find(index, chosen == deep);
}

void partition_window_c::on_partition_found()
{
    show_rows(search_.partitions());
}

void partition_window_c::on_thread_finished()
{
    // A newer search may already run when the end of the previous one is delivered.
    if (search_.isRunning())
        return;
    const bool stopped = std::exchange(stopping_, false);
    show_rows(search_.partitions());
    // A disk that stopped answering was not searched to its end: whatever was found, the user
    // must know that partitions beyond may be missing.
    if (stopped)
        outcome_ = outcome_e::stopped;
    else if (search_.last_search_result() == search_disk_silent)
        outcome_ = outcome_e::disk_silent;
    else
        outcome_ = rows_->empty() ? outcome_e::nothing_found : outcome_e::found;
    bar_.value = search_.progress();
    update();
    if (pending_) {
        start_pending();
        return;
    }
    if (!stopped)
        ui_->btn_stop->setText(language_text("btn_start"));
}

void partition_window_c::on_timer()
{
    bar_.value = search_.progress();
    update(progress_rect());
}

void partition_window_c::on_stop_clicked()
{
    if (search_.isRunning() && !stopping_) {
        search_.request_stop();
        stopping_ = true;
        ui_->btn_stop->setText(language_text("btn_start"));
        return;
    }
    const auto drive = pending_ ? pending_ : search_.drive();
    if (!drive)
        return;
    ui_->btn_stop->setText(language_text("btn_stop"));
    start_search(*drive);
}

void partition_window_c::on_repair_clicked()
{
    if (search_.isRunning() || repairing_)
        return;
    repairing_ = true;
    run_repair_step([this] { preview_ = search_.preview_repair(); }, &partition_window_c::on_preview_read);
}

void partition_window_c::run_repair_step(std::function<void()> work, void (partition_window_c::*then)())
{
    repair_.reset(QThread::create(std::move(work)));
    connect(repair_.get(), &QThread::finished, this, then);
    repair_->start();
}

void partition_window_c::on_preview_read()
{
    repair_->wait();
    repair_.reset();
    // Nothing found, or sector 0 unreadable: there is nothing to confirm.
    if (!preview_) {
        end_repair(-1);
        return;
    }
    warning_extra_s tables;
    tables.detail = plan_tables_html(preview_->plan);
    // A sound table: nothing to write, and so nothing to confirm.
    if (preview_->plan.writes.empty()) {
        warning_box(box_title, "partition_table_sound", QMessageBox::Ok, this, tables);
        repairing_ = false;
        emit repair_done(0);
        start_pending();
        return;
    }
    tables.detail += written_sectors_html(preview_->plan);
    tables.default_button = QMessageBox::No;
    if (warning_box(box_title, preview_->plan.gpt ? "partition_query_gpt" : "partition_query",
                    QMessageBox::Yes | QMessageBox::No, this, tables)
        != QMessageBox::Yes) {
        repairing_ = false;
        start_pending();
        return;
    }
    run_repair_step([this] { repair_result_ = search_.write_partition_table(*preview_); },
                    &partition_window_c::on_repair_finished);
}

void partition_window_c::on_repair_finished()
{
    repair_->wait();
    repair_.reset();
    end_repair(repair_result_);
}

void partition_window_c::end_repair(int result)
{
    // A repair that wrote nothing must not be reported as done. Where the old sector 0 was saved
    // is told even after a failed write, which may have left the sector damaged; without a
    // preview no write ran, and the path would be an earlier repair's.
    warning_extra_s backup;
    backup.detail = preview_ ? backup_note_html(preview_->plan, search_.backup_path()) : QString();
    warning_box(box_title, result == 0 ? "partition_finished" : "partition_failed", QMessageBox::Ok, this, backup);
    repairing_ = false;
    emit repair_done(result);
    start_pending();
}

void partition_window_c::show_rows(std::vector<partition_item_s> items)
{
    auto rows = std::make_unique<std::vector<partition_item_s>>(std::move(items));
    auto* model = new partition_model_c(*rows, this);
    replace_view_model(*ui_->lv_volumes, model, model_);
    model_ = model;
    rows_ = std::move(rows);
}

void partition_window_c::paintEvent(QPaintEvent*)
{
    const int w = width();
    QPainter painter(this);
    paint_page_band(painter, w);
    painter.drawPixmap(45, 30, QPixmap(QStringLiteral(":/images/partition_search/icon_found1.png")));
    painter.setPen(QColor(139, 184, 241));
    painter.drawRect(QRect(25, 12, w - 50, 92));
    paint_partition_captions(painter, QRect(25, list_top - list_row_height, w - 50, list_row_height));
    bar_.paint(&painter, progress_rect());
    painter.setPen(Qt::black);
    painter.setFont(QFont(QStringLiteral("Verdana"), 10));
    painter.drawText(120, 40, status_text());
    // The disk being searched, so that the user knows which one the results belong to, and the
    // kind of partition table it holds.
    if (const auto drive = search_.drive()) {
        const QString disk = language_text("partition_drive").arg(drive->path + QStringLiteral(" (")
                                                                 + format_size(drive->size) + QLatin1Char(')'));
        painter.drawText(120, 85, disk);
        painter.drawText(120 + painter.fontMetrics().horizontalAdvance(disk) + 30, 85,
                         language_text("partition_table_kind").arg(table_kind_text(search_.table_kind_found())));
    }
}

QString partition_window_c::status_text() const
{
    if (search_.isRunning())
        return language_text("partition_text1");
    switch (outcome_) {
    case outcome_e::stopped:
        return language_text("partition_search_stopped");
    case outcome_e::disk_silent:
        return language_text("partition_disk_silent");
    case outcome_e::nothing_found:
        return language_text("partition_nothing_found");
    case outcome_e::none:
    case outcome_e::found:
        break;
    }
    return {};
}

void partition_window_c::resizeEvent(QResizeEvent*)
{
    const int w = width();
    const int h = height();
    ui_->btn_back->move(200, h - 54);
    ui_->btn_repair->move(w - 300, h - 54);
    ui_->btn_stop->move(w - 168, 42);
    ui_->lv_volumes->setGeometry(25, list_top, w - 50, h - list_top - 60);
}

} // namespace tarn
