#pragma once
// The recovery page: scans a volume with the engine that fits it, shows progress while the
// engine runs, then the folders it found beside a file table with check boxes and a preview,
// and writes the checked files into a folder the user chooses.

#include "disk/volume_item.h"
#include "recovery/preview_content.h"
#include "recovery/checked_records.h"
#include "recovery/preview_loader.h"
#include "recovery/recovery_rows.h"
#include "recovery/scanner_kind.h"
#include "scan/raw_hit.h"
#include "scan/recovery_stop.h"
#include "widgets/progress_bar.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>

class QCheckBox;
class QMovie;

namespace Ui {
class RecoveryForm;
}

namespace tarn {

class MyHeaderView;
class MyQTableView;
class TreeModel;
struct TreeNode;
class recovery_file_c;
class recovery_model_c;

class recovery_window_c : public QWidget {
    Q_OBJECT
public:
    // receiver: the main window, whose on_click_recovery_back() the back button reaches. Built
    // without a parent: the main window's layout adopts the page.
    explicit recovery_window_c(QObject* receiver);
    ~recovery_window_c() override;

    // Scans volume, by signature when deep; lost: the file system's engine also searches the
    // whole volume for the files of an earlier file system. 0 when the scan started; -1 while a
    // scan or an extraction runs, or when no engine reads the volume's file system.
    int start_scan(const volume_item_s& volume, bool deep, bool lost = false);
    // Asks for a scan file and shows its results (0), when the volume it was made of is listed;
    // else -1 (a file refused or a volume not here is said so).
    int open_scan_file();
    // Stops a running scan because the page is being left; its end arrives later.
    void abandon_scan();
    // Empties the page: tree, file table, preview, progress; the page's timer stops.
    void clear();

    // The engine that the page drives now (the idle engine before the first scan).
    recovery_base_c* current_engine() const { return current_; }
    int scanner_kind() const { return kind_; }

public slots:
    void on_timer();
    void on_thread_finished();
    void on_tree_clicked(const QModelIndex& index);
    void on_list_clicked(const QModelIndex& index);
    void on_recovery_clicked();
    void on_stop_clicked();
    void on_pause_clicked();
    void on_save_result_clicked();
    void on_check_all(bool state);
    void on_sort_column(int column);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void on_preview_loaded(const tarn::recovery_item_s& fetched, const tarn::preview_content_s& content);
    void on_tree_menu(const QPoint& at);
    void on_live_toggled(bool shown);
    void on_extraction_progress(int files_done, int files_total, quint64 bytes_done, quint64 bytes_total);
    void on_extraction_finished();

private:
    void build_form();
    void connect_signals(QObject* receiver);
    // The engine of that scanner kind.
    recovery_base_c* engine_of(int kind);
    // Starts the chosen engine on the stored volume; -1 when no engine reads it.
    int launch();
    void restart();
    void reset_engine(recovery_base_c* engine);
    void reset_tree();
    void set_tree(TreeModel* model);
    // Puts a new file model over the row list (after it changed as a whole).
    void renew_file_model();
    void size_columns();
    void clear_preview();
    // After a scan that found nothing: the search for lost files where the engine has one and
    // it has not run, else (or when declined) the deep scan.
    void offer_next_scan();
    void offer_deep_scan();
    // Before a deep scan of deep_volume: the names the file-system scan of that same volume found,
    // by where each file's data starts, for the deep scan to name its hits.
    void remember_names(const QString& deep_volume);
    // The tree of the finished scan, with or without the files that still exist; false when it
    // shows nothing.
    bool show_findings();
    bool extraction_running() const;
    // The extraction thread, made on first use.
    recovery_file_c* extraction();
    // Asks for the folder to recover into; empty when cancelled or refused (the scanned volume
    // itself, or a folder that cannot be written, which is said so).
    QString choose_target();
    // Writes a folder of the tree with everything below it.
    void recover_folder(const TreeNode& node);
    // A new scan or scan file: no ticks, no outcome, no extraction text from the last one.
    void forget_outcome();

    std::unique_ptr<Ui::RecoveryForm> ui_;
    bool deep_ = false;
    bool lost_ = false; // the scan searches for lost files too
    // The names a file-system scan found and the volume it read, taken when a deep scan of that
    // volume starts: the deep scan names its hits after them.
    raw_known_names known_names_;
    QString known_volume_;
    // "Show live files": on for a partition the search found (every file on it is lost), off
    // for a listed volume; not shown for a deep scan, whose files have no such state.
    QCheckBox* live_box_ = nullptr;
    volume_item_s volume_;
    // One engine of each kind the engine table can make, by scanner kind; a kind this build has
    // no engine for stays empty and is refused as unavailable.
    std::array<std::unique_ptr<recovery_base_c>, scanner_kinds> engines_;
    recovery_stop_c idle_;
    recovery_base_c* current_ = &idle_;
    MyQTableView* table_ = nullptr;
    TreeModel* tree_model_ = nullptr;
    recovery_model_c* file_model_ = nullptr;
    recovery_rows rows_;
    preview_content_s preview_;
    progress_bar_c progress_;
    QTimer timer_;
    int kind_ = 0;
    MyHeaderView* header_ = nullptr;
    QMovie* animation_ = nullptr;
    // Why the last scan could not read its volume; the status line says so.
    scan_failure_e failure_ = scan_failure_e::none;
    bool stopped_ = false;       // the last scan was stopped by the user
    bool nothing_found_ = false; // the last scan ended with nothing to show
    QString extraction_text_;    // the status line while and after files are written
    checked_records_c checks_;
    // The record of the last click whose preview is still to come.
    std::optional<recovery_item_s> preview_wanted_;
    // Declared after the engines: both use an engine and are joined before the engines go.
    std::unique_ptr<recovery_file_c> extraction_;
    preview_loader_c preview_loader_;
};

} // namespace tarn
