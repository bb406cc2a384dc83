#pragma once
// The volume selection page: the volumes the file recovery can scan, each with its name, a bar
// of how full it is, free and total space and file system. Its buttons and a double-click go
// to the main window's slots.

#include "disk/volume_item.h"

#include <QWidget>

#include <memory>
#include <vector>

class QCheckBox;
class QThread;

namespace Ui {
class VolumeForm;
}

namespace tarn {

class volume_model_c;

class volume_window_c : public QWidget {
    Q_OBJECT
public:
    // receiver: the main window, whose on_click_volume_* slots the page's buttons reach. Built
    // without a parent: the main window's layout adopts the page.
    explicit volume_window_c(QObject* receiver);
    ~volume_window_c() override;

    // The volume of the current row as an entry of volume_list() or of what the deep scan offers
    // besides; with no current row the user is told to choose one and the answer is nullptr.
    const volume_item_s* selected_volume();
    // Puts a new model over volume_list() on the list; no row is current afterwards.
    void show_volumes();
    // For the deep scan the list also offers each disk whole and the unpartitioned space larger
    // than 1 MiB; they are found on the refresh thread the first time they are asked for.
    void set_deep(bool deep);
    // Lists the volumes again and reopens the FAT sector layer's drives on a thread of its own;
    // when done, volume_list() is replaced, shown and volumes_refreshed() is emitted. A request
    // while one runs is dropped.
    void refresh_volumes();
    // "Search for lost files": the scan also searches the whole volume for the files of an
    // earlier file system (not offered for the deep scan, which reads every byte anyway).
    bool lost_search() const;

signals:
    void start_scan();
    void volumes_refreshed();

public slots:
    void on_double_clicked(const QModelIndex& index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void on_refresh_finished();

private:
    std::unique_ptr<Ui::VolumeForm> ui_;
    QObject* receiver_;
    volume_model_c* model_ = nullptr;
    std::unique_ptr<QThread> refresh_;
    std::vector<volume_item_s> refreshed_;
    bool deep_ = false;
    QCheckBox* lost_box_ = nullptr;
    bool extras_known_ = false;
    std::vector<volume_item_s> extras_;
    std::vector<volume_item_s> refreshed_extras_;
    // What the model refers to: replaced together with the model, never edited under it.
    std::unique_ptr<std::vector<volume_item_s>> shown_ = std::make_unique<std::vector<volume_item_s>>();
};

} // namespace tarn
