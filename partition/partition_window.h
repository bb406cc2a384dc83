#pragma once
// The partition search page: the progress of the lost-partition search of one disk, the
// partitions found so far, a button that stops and restarts the search, the repair that writes
// the finds into the disk's partition table, and the way back.

#include "disk/drive_item.h"
#include "disk/volume_item.h"
#include "partition/partition_item.h"
#include "partition/partition_repair.h"
#include "widgets/progress_bar.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Ui {
class PartitionForm;
}

class QThread;

namespace tarn {

class partition_model_c;

class partition_window_c : public QWidget {
    Q_OBJECT
public:
    // receiver: the main window, whose on_click_partition_back() the back button reaches.
    explicit partition_window_c(QObject* receiver);
    // Stops the search and waits for it and for a running repair.
    ~partition_window_c() override;

    // Searches drive from sector 0 with an empty list. A search still ending, or a repair in
    // progress, is let finish first; a running search is asked to stop. Returns 0.
    int start_search(const drive_item_s& drive);
    // Asks a running search to stop without waiting for it, and forgets a search waiting to
    // start.
    void stop_search();

    // Where the page paints its progress bar.
    static QRect progress_rect() { return QRect(120, 50, 450, 12); }
    const progress_bar_c& progress_bar() const { return bar_; }
    const partition_repair_c& search() const { return search_; }

public slots:
    void on_partition_found();
    void on_thread_finished();
    void on_timer();
    void on_stop_clicked();
    void on_repair_clicked();

signals:
    // A find was chosen for a file scan or a deep scan: volume reads it through a window of the
    // disk, and nothing is written.
    void scan_find(const tarn::volume_item_s& volume, bool deep);
    // The repair ended and its message was answered; result as write_partition_table(), -1
    // also when there was nothing to repair.
    void repair_done(int result);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The find of a list row as a volume of the searched disk; nothing for a row past the list.
    std::optional<volume_item_s> find_volume(const QModelIndex& index) const;
    void on_find_menu(const QPoint& at);
    void open_find(const QModelIndex& index, bool deep);
    // Starts the waiting search unless a search or a repair still runs.
    void start_pending();
    // Runs one step of the repair beside the user-interface thread, as it waits on the disk;
    // then() follows on this thread once it has ended.
    void run_repair_step(std::function<void()> work, void (partition_window_c::*then)());
    void on_preview_read();
    void on_repair_finished();
    // Shows the repair's outcome and lets a waiting search start.
    void end_repair(int result);
    // Shows items through a new model and deletes the previous model and its list.
    void show_rows(std::vector<partition_item_s> items);
    // The line above the bar: the search at work, or how it ended.
    QString status_text() const;

    std::unique_ptr<Ui::PartitionForm> ui_;
    partition_repair_c search_;
    progress_bar_c bar_;
    QTimer timer_;
    partition_model_c* model_ = nullptr;
    std::unique_ptr<std::vector<partition_item_s>> rows_;
    // The search was asked to stop and has not ended yet.
    bool stopping_ = false;
    // What the page says of the last search once it has ended.
    enum class outcome_e { none, stopped, disk_silent, nothing_found, found };
    outcome_e outcome_ = outcome_e::none;
    // The disk to search as soon as neither a search nor a repair runs.
    std::optional<drive_item_s> pending_;
    std::unique_ptr<QThread> repair_;
    // From the repair button until the outcome has been shown, the question included.
    bool repairing_ = false;
    // What the confirmation shows, and so what the repair may write.
    std::optional<repair_preview_s> preview_;
    int repair_result_ = -1;
};

} // namespace tarn
