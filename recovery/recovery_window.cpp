#include "recovery/recovery_window.h"

#include "common/app_state.h"
#include "platform/found_volume.h"
#include "platform/system.h"
#include "recovery/engine_table.h"
#include "recovery/extraction_feedback.h"
#include "recovery/file_extraction.h"
#include "recovery/my_header_view.h"
#include "recovery/my_qtable_view.h"
#include "recovery/recovery_delegate.h"
#include "recovery/recovery_file.h"
#include "recovery/recovery_model.h"
#include "recovery/recovery_status.h"
#include "recovery/tree_builder.h"
#include "recovery/tree_extraction.h"
#include "recovery/tree_model.h"
#include "recovery/tree_name_delegate.h"
#include "recovery/ui_recovery_form.h"
#include "disk/volume_enumeration.h"
#include "scan/raw_recovery.h"
#include "scan/raw_scan_file.h"
#include "scan/recovery_control.h"
#include "settings/language.h"
#include "widgets/file_chooser.h"
#include "widgets/page_button.h"
#include "widgets/page_painting.h"
#include "widgets/warning_box.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QMenu>
#include <QMovie>
#include <QPainter>

#include <algorithm>

namespace tarn {

namespace {

const QString box_title = QStringLiteral("TarnRecovery");
// Files above this size are not fetched for the preview.
constexpr std::uint64_t preview_limit = 5242880;
constexpr int timer_interval_ms = 200;

} // namespace

recovery_window_c::recovery_window_c(QObject* receiver)
    : QWidget(nullptr), ui_(std::make_unique<Ui::RecoveryForm>())
{
    register_recovery_item_type();
    timer_.setInterval(timer_interval_ms);
    build_form();
    connect_signals(receiver);
    timer_.start();
    progress_.prepare(QStringLiteral(":/images/partition_search/loding_on.png"), QColor(226, 240, 253));
    configure_carving();
}

recovery_window_c::~recovery_window_c()
{
    timer_.stop();
    // The views go with the page's children; they must not meet models over a dead row list.
    delete table_;
    table_ = nullptr;
}

void recovery_window_c::build_form()
{
    ui_->setupUi(this);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    animation_ = new QMovie(QStringLiteral(":/images/recovery/ani.gif"), QByteArray(), this);
    ui_->lbl_anime->setGeometry(0, 0, 130, 86);
    ui_->lbl_anime->setMovie(animation_);
    table_ = new MyQTableView(this);
    table_->setStyleSheet(QStringLiteral("QTableView{border-style: none;border: 1px solid #8bb8fe;}"));
    set_tree(new TreeModel(this));
    ui_->tv_dirtree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    ui_->tv_dirtree->setItemDelegate(new tree_name_delegate_c(ui_->tv_dirtree));
    file_model_ = new recovery_model_c(&rows_, this);
    table_->setModel(file_model_);
    table_->setItemDelegate(new recovery_delegate_c(table_));
    table_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    header_ = new MyHeaderView(table_);
    table_->setHorizontalHeader(header_);
    size_columns();
    prepare_page_button(ui_->btn_recovery, "btn_recovery");
    prepare_page_button(ui_->btn_back, "btn_back");
    ui_->btn_pause->resize(80, 30);
    ui_->btn_stop->resize(80, 30);
    ui_->btn_filter->resize(80, 30);
    ui_->btn_pause->setText(language_text("btn_pause"));
    ui_->btn_stop->setText(language_text("btn_stop"));
    ui_->btn_filter->setText(language_text("btn_save_result"));
    live_box_ = new QCheckBox(language_text("recovery_show_live"), this);
    live_box_->adjustSize();
    // Nothing to pause, stop or save before the first scan.
    ui_->btn_pause->hide();
    ui_->btn_stop->hide();
    ui_->btn_filter->hide();
    live_box_->hide();
}

void recovery_window_c::connect_signals(QObject* receiver)
{
    for (int kind = 0; kind < scanner_kinds; ++kind) {
        const engine_entry_s* entry = engine_entry(kind);
        if (entry == nullptr || entry->make_engine == nullptr)
            continue;
        engines_[kind] = entry->make_engine();
        connect(engines_[kind].get(), &QThread::finished, this, &recovery_window_c::on_thread_finished);
    }
    connect(ui_->tv_dirtree, &QTreeView::clicked, this, &recovery_window_c::on_tree_clicked);
    ui_->tv_dirtree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui_->tv_dirtree, &QTreeView::customContextMenuRequested, this, &recovery_window_c::on_tree_menu);
    connect(table_, &QTableView::clicked, this, &recovery_window_c::on_list_clicked);
    connect(ui_->btn_recovery, &QPushButton::clicked, this, &recovery_window_c::on_recovery_clicked);
    connect(ui_->btn_pause, &QPushButton::clicked, this, &recovery_window_c::on_pause_clicked);
    connect(ui_->btn_stop, &QPushButton::clicked, this, &recovery_window_c::on_stop_clicked);
    connect(ui_->btn_filter, &QPushButton::clicked, this, &recovery_window_c::on_save_result_clicked);
    connect(live_box_, &QCheckBox::toggled, this, &recovery_window_c::on_live_toggled);
    // The receiver is the main window, which lives above this library: reached by name.
    if (receiver)
        connect(ui_->btn_back, SIGNAL(clicked()), receiver, SLOT(on_click_recovery_back()));
    connect(&timer_, &QTimer::timeout, this, &recovery_window_c::on_timer);
    connect(header_, &MyHeaderView::check_all, this, &recovery_window_c::on_check_all);
    connect(header_, &MyHeaderView::sort_column, this, &recovery_window_c::on_sort_column);
    connect(&preview_loader_, &preview_loader_c::loaded, this, &recovery_window_c::on_preview_loaded);
}

recovery_base_c* recovery_window_c::engine_of(int kind)
{
    return kind >= 0 && kind < scanner_kinds ? engines_[kind].get() : nullptr;
}

bool recovery_window_c::extraction_running() const
{
    return extraction_ && extraction_->isRunning();
}

void recovery_window_c::reset_engine(recovery_base_c* engine)
{
    // The preview may be reading this engine's findings: let it end first.
    preview_loader_.cancel();
    clear_preview();
    engine->reset();
}

int recovery_window_c::start_scan(const volume_item_s& volume, bool deep, bool lost)
{
    // An extraction reads the engine's findings, which a new scan would clear under it.
    if (scan_running || extraction_running())
        return -1;
    ui_->btn_pause->setText(language_text("btn_pause"));
    ui_->btn_pause->show();
    ui_->btn_stop->show();
    reset_tree();
    if (deep)
        remember_names(volume.volume_path);
    deep_ = deep;
    lost_ = lost;
    volume_ = volume;
    {
        const QSignalBlocker quiet(live_box_);
        live_box_->setChecked(is_found_volume_path(volume.volume_path));
    }
    reset_engine(current_);
    return launch();
}

int recovery_window_c::launch()
{
    const engine_entry_s* entry = choose_engine(volume_, deep_);
    if (entry == nullptr)
        return -1;
    const int kind = entry->kind;
    if (engine_of(kind) == nullptr) {
        warning_box(box_title, "engine_unavailable", QMessageBox::Ok, this);
        return -1;
    }
    failure_ = scan_failure_e::none;
    forget_outcome();
    kind_ = kind;
    current_ = engine_of(kind);
    reset_engine(current_);
    // Rows of earlier findings must not send a preview or an extraction to an engine that is
    // scanning afresh.
    rows_.clear();
    renew_file_model();
    // Save is offered for finished results only, whichever way the scan was started.
    ui_->btn_filter->hide();
    live_box_->setVisible(kind != scanner_raw);
    current_->set_volume(volume_);
    current_->set_lost_search(lost_ && entry->lost_search);
    if (auto* raw = dynamic_cast<raw_recovery_c*>(current_); raw != nullptr && known_volume_ == volume_.volume_path)
        raw->set_known_names(known_names_);
    scan_running = true;
    current_->start(QThread::InheritPriority);
    timer_.start();
    animation_->start();
    return 0;
}

void recovery_window_c::restart()
{
    if (scan_running || extraction_running())
        return;
    if (deep_)
        remember_names(volume_.volume_path);
    reset_engine(current_);
    if (launch() != 0)
        return;
    ui_->btn_pause->setText(language_text("btn_pause"));
    ui_->btn_pause->show();
    ui_->btn_stop->show();
}

void recovery_window_c::remember_names(const QString& deep_volume)
{
    // Taken from the findings just before the engine is reset for the deep scan; a deep scan run
    // again keeps the names it had.
    const engine_entry_s* entry = engine_entry(kind_);
    if (kind_ == scanner_raw || entry == nullptr || entry->known_starts == nullptr || volume_.volume_path != deep_volume)
        return;
    known_names_ = entry->known_starts(*current_);
    known_volume_ = deep_volume;
}

int recovery_window_c::open_scan_file()
{
    if (scan_running || extraction_running())
        return -1;
    reset_tree();
    rows_.clear();
    renew_file_model();
    reset_engine(current_);
    progress_.value = 0.0;
    timer_.stop();
    const QString path = choose_scan_file(this, file_choice_e::open);
    if (path.isEmpty())
        return -1;
    auto* raw = dynamic_cast<raw_recovery_c*>(engine_of(scanner_raw));
    // A stopped or abandoned earlier deep scan must not colour the file's results.
    if (raw != nullptr)
        reset_engine(raw);
    const QString device = raw != nullptr ? raw->load_results(path) : QString();
    // The volume the scan was made of must be here now: its hits are read from it.
    const auto& volumes = volume_list();
    const auto volume = std::find_if(volumes.begin(), volumes.end(), [&device](const volume_item_s& v) {
        return scan_file_names_volume(device, v.volume_path);
    });
    if (volume == volumes.end()) {
        warning_box(box_title, "scan_file_failed", QMessageBox::Ok, this);
        return -1;
    }
    volume_ = *volume;
    deep_ = true;
    forget_outcome();
    kind_ = scanner_raw;
    current_ = raw;
    current_->set_volume(volume_);
    on_thread_finished();
    ui_->btn_pause->hide();
    ui_->btn_filter->hide();
    return 0;
}

void recovery_window_c::abandon_scan()
{
    if (scan_running)
        current_->set_stop(stop_abandon);
}

void recovery_window_c::clear()
{
    reset_tree();
    rows_.clear();
    renew_file_model();
    // A running extraction still reads the findings; they go with the next scan's reset.
    if (!scan_running && !extraction_running())
        reset_engine(current_);
    progress_.value = 0.0;
    timer_.stop();
    update();
}

void recovery_window_c::on_timer()
{
    // While files are written the bar shows the extraction, not the finished scan.
    if (extraction_running())
        return;
    progress_.value = current_->get_progress();
    if (scan_running)
        update();
}

void recovery_window_c::on_thread_finished()
{
    ui_->btn_pause->setText(language_text("btn_start"));
    ui_->btn_stop->hide();
    const std::int32_t stop = current_->get_stop();
    if (stop == stop_abandon) {
        current_->reset();
        scan_running = false;
        animation_->stop();
        return;
    }
    // A stopped scan keeps the share it reached and says it stopped.
    stopped_ = stop == stop_keep;
    if (!stopped_) {
        current_->set_progress(1.0);
        progress_.value = 1.0;
    }
    failure_ = current_->get_failure();
    const bool found = show_findings();
    if (kind_ == scanner_raw)
        ui_->btn_filter->show();
    scan_running = false;
    animation_->stop();
    update();
    if (!found && stop != stop_keep && !deep_ && isVisible())
        offer_next_scan();
}

bool recovery_window_c::show_findings()
{
    std::unique_ptr<TreeModel> tree = build_tree(kind_, *current_, live_box_->isChecked());
    const bool found = tree != nullptr;
    if (found) {
        tree->setParent(this);
        set_tree(tree.release());
        ui_->tv_dirtree->expandToDepth(0);
    } else {
        reset_tree();
    }
    nothing_found_ = !found && failure_ == scan_failure_e::none;
    return found;
}

// The rows shown change with the switch: the tree is built again and the table emptied, and a
// tick on a row that is no longer shown is dropped with it.
void recovery_window_c::on_live_toggled(bool shown)
{
    // The rows an extraction or a scan works on stay as they are: the switch waits for them.
    if (scan_running || extraction_running()) {
        const QSignalBlocker quiet(live_box_);
        live_box_->setChecked(!shown);
        return;
    }
    clear_preview();
    rows_.clear();
    renew_file_model();
    show_findings();
    update();
}

void recovery_window_c::offer_next_scan()
{
    // A volume its engine could not read at all has no walk for the search to follow.
    const engine_entry_s* entry = choose_engine(volume_, false);
    if (lost_ || failure_ != scan_failure_e::none || entry == nullptr || !entry->lost_search
        || warning_box(box_title, "lost_search_query", QMessageBox::Yes | QMessageBox::No, this) != QMessageBox::Yes) {
        offer_deep_scan();
        return;
    }
    lost_ = true;
    restart();
    if (!scan_running)
        lost_ = false;
}

void recovery_window_c::offer_deep_scan()
{
    if (warning_box(box_title, "deep_scan_query", QMessageBox::Yes | QMessageBox::No, this) != QMessageBox::Yes)
        return;
    deep_ = true;
    restart();
    // A deep scan this build cannot run leaves the page's own scan as the one to start again.
    if (!scan_running)
        deep_ = false;
}

void recovery_window_c::on_tree_clicked(const QModelIndex& index)
{
    clear_preview();
    list_folder(kind_, *current_, TreeModel::node(index), rows_, live_box_->isChecked());
    const bool all = checks_.mark(kind_, rows_);
    renew_file_model();
    header_->set_check_all_state(all);
}

void recovery_window_c::on_list_clicked(const QModelIndex& index)
{
    clear_preview();
    const auto row = static_cast<std::size_t>(index.row());
    if (!index.isValid() || row >= rows_.size())
        return;
    if (index.column() == column_check) {
        file_model_->set_checked(index.row(), !rows_[row].checked);
        checks_.set(kind_, rows_[row], rows_[row].checked);
    }
    // Big files would keep the engine busy for a picture that small: their type and size only.
    if (rows_[row].size > preview_limit) {
        preview_ = {QImage(), describe_file(rows_[row].name, rows_[row].size)};
        update();
        return;
    }
    preview_wanted_ = rows_[row];
    preview_loader_.request(current_, kind_, private_temp_dir(), rows_[row]);
}

void recovery_window_c::on_preview_loaded(const recovery_item_s& fetched, const preview_content_s& content)
{
    // A fetch that ends after another click (a big file, a folder) is no longer wanted.
    if (content.empty() || !preview_wanted_ || fetched.id != preview_wanted_->id || fetched.name != preview_wanted_->name)
        return;
    preview_wanted_.reset();
    preview_ = content;
    update();
}

void recovery_window_c::clear_preview()
{
    preview_wanted_.reset();
    preview_ = {};
    update();
}

void recovery_window_c::on_recovery_clicked()
{
    const recovery_rows checked = checks_.rows(kind_);
    if (checked.empty()) {
        if (!rows_.empty())
            warning_box(box_title, "recovery_check_warning", QMessageBox::Ok, this);
        return;
    }
    const QString folder = choose_target();
    if (!folder.isEmpty() && extraction()->start_extraction(current_, kind_, folder, checked) == 0)
        extraction_text_ = extraction_progress_text(0, static_cast<int>(checked.size()), 0, 0);
    update();
}

void recovery_window_c::on_tree_menu(const QPoint& at)
{
    const QModelIndex index = ui_->tv_dirtree->indexAt(at);
    const TreeNode* node = TreeModel::node(index);
    if (node == nullptr || scan_running || extraction_running())
        return;
    QMenu menu(this);
    const QAction* whole = menu.addAction(language_text("recover_this_folder"));
    if (menu.exec(ui_->tv_dirtree->viewport()->mapToGlobal(at)) == whole)
        recover_folder(*node);
}

void recovery_window_c::recover_folder(const TreeNode& node)
{
    // The folder first: a cancelled choice costs no walk of the branch.
    const QString folder = choose_target();
    if (folder.isEmpty())
        return;
    std::vector<branch_folder_s> branch = list_branch(kind_, *current_, node, live_box_->isChecked());
    drop_overwritten(branch);
    int files = 0;
    for (const branch_folder_s& f : branch)
        files += static_cast<int>(f.rows.size());
    // The folder keeps its own name under the target, as its files do: the disk's where that
    // is more than the tree shows.
    const QString target = node.name.isEmpty() || node.name == QLatin1String("/")
                               ? folder
                               : folder + QLatin1Char('/') + written_folder_name(node.name, node.disk_name);
    if (extraction()->start_branch(current_, kind_, target, std::move(branch)) == 0)
        extraction_text_ = extraction_progress_text(0, files, 0, 0);
    update();
}

QString recovery_window_c::choose_target()
{
    if (extraction_running())
        return {};
    const QString folder = QFileDialog::getExistingDirectory(
        this, language_text("recovery_select"), system_root(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (folder.isEmpty())
        return {};
    // Writing onto the scanned volume can overwrite the very files being recovered.
    if (same_volume(folder, volume_.device) &&
        warning_box(box_title, "recovery_same_volume_warning", QMessageBox::Yes | QMessageBox::No, this) ==
            QMessageBox::No)
        return {};
    // A folder that cannot take a file is said so now, not after every file failed.
    if (!folder_writable(folder)) {
        warning_box(box_title, "recovery_target_unwritable", QMessageBox::Ok, this);
        return {};
    }
    return folder;
}

recovery_file_c* recovery_window_c::extraction()
{
    if (!extraction_) {
        extraction_ = std::make_unique<recovery_file_c>();
        connect(extraction_.get(), &recovery_file_c::progress, this, &recovery_window_c::on_extraction_progress);
        connect(extraction_.get(), &QThread::finished, this, &recovery_window_c::on_extraction_finished);
    }
    return extraction_.get();
}

void recovery_window_c::on_extraction_progress(int files_done, int files_total, quint64 bytes_done, quint64 bytes_total)
{
    extraction_text_ = extraction_progress_text(files_done, files_total, bytes_done, bytes_total);
    progress_.value = bytes_total > 0 ? static_cast<double>(bytes_done) / static_cast<double>(bytes_total)
                                      : files_total > 0 ? static_cast<double>(files_done) / files_total : 1.0;
    update();
}

void recovery_window_c::on_extraction_finished()
{
    const extraction_summary_s& summary = extraction_->summary();
    extraction_text_ = extraction_summary_text(summary);
    update();
    show_extraction_summary(summary, this);
}

void recovery_window_c::forget_outcome()
{
    checks_.clear();
    stopped_ = false;
    nothing_found_ = false;
    extraction_text_.clear();
}

void recovery_window_c::on_stop_clicked()
{
    current_->set_stop(stop_keep);
    ui_->btn_stop->hide();
}

void recovery_window_c::on_pause_clicked()
{
    // A new scan would clear the findings the files being written come from.
    if (extraction_running())
        return;
    if (current_->isRunning()) {
        const bool paused = current_->get_pause() != 0;
        current_->set_pause(paused ? 0 : 1);
        ui_->btn_pause->setText(language_text(paused ? "btn_pause" : "btn_resume"));
        return;
    }
    reset_tree();
    rows_.clear();
    renew_file_model();
    ui_->btn_pause->setText(language_text("btn_pause"));
    ui_->btn_stop->show();
    restart();
}

void recovery_window_c::on_save_result_clicked()
{
    if (scan_running)
        return;
    const QString path = choose_scan_file(this, file_choice_e::save);
    if (path.isEmpty())
        return;
    // A result that was not saved is said so; a silent failure would lose the scan later.
    const auto* raw = dynamic_cast<const raw_recovery_c*>(engine_of(scanner_raw));
    if (raw == nullptr || raw->save_results(path) != 0)
        warning_box(box_title, "scan_file_failed", QMessageBox::Ok, this);
}

void recovery_window_c::on_check_all(bool state)
{
    for (recovery_item_s& row : rows_) {
        // A file with new bytes in its clusters is written only when ticked on its own.
        if (state && row.overwritten)
            continue;
        row.checked = state;
        checks_.set(kind_, row, state);
    }
    renew_file_model();
}

void recovery_window_c::on_sort_column(int column)
{
    file_model_->sort_by_column(column);
}

void recovery_window_c::reset_tree()
{
    set_tree(new TreeModel(this));
}

void recovery_window_c::set_tree(TreeModel* model)
{
    TreeModel* previous = tree_model_;
    tree_model_ = model;
    replace_view_model(*ui_->tv_dirtree, model, previous);
}

void recovery_window_c::renew_file_model()
{
    recovery_model_c* previous = file_model_;
    file_model_ = new recovery_model_c(&rows_, this);
    replace_view_model(*table_, file_model_, previous);
    size_columns();
}

void recovery_window_c::size_columns()
{
    // A new model lays the header's sections out afresh.
    header_->resizeSection(column_check, 33);
    header_->resizeSection(column_name, 235);
    // The name takes what the other columns leave, so a wide window shows long names whole.
    header_->setSectionResizeMode(column_name, QHeaderView::Stretch);
}

void recovery_window_c::resizeEvent(QResizeEvent*)
{
    const int w = width();
    const int h = height();
    ui_->btn_recovery->move(w - 300, h - 49);
    ui_->btn_back->move(200, h - 49);
    ui_->btn_pause->move(360, 29);
    ui_->btn_stop->move(470, 29);
    ui_->btn_filter->move(w - 130, 29);
    live_box_->move(312, h - 43); // between Back and Recover
    ui_->tv_dirtree->setGeometry(10, 79, 193, h - 137);
    ui_->lbl_anime->setGeometry(0, 0, 130, 86);
    table_->setGeometry(212, static_cast<int>((h - 143) * 0.4 + 86), w - 222, static_cast<int>((h - 143) * 0.6));
}

void recovery_window_c::paintEvent(QPaintEvent*)
{
    if (!isVisible())
        return;
    QPainter painter(this);
    const recovery_status_s status{deep_,
                                   failure_ != scan_failure_e::none,
                                   current_->get_progress(),
                                   volume_.total_bytes,
                                   current_->get_read_count(),
                                   current_->get_found_count(),
                                   stopped_,
                                   nothing_found_,
                                   extraction_text_};
    paint_recovery_face(painter, width(), height(), status, progress_, preview_.empty() ? nullptr : &preview_);
}

} // namespace tarn
