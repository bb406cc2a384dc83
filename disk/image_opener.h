#pragma once
// "Open disk image…" of the settings menu and of the drive and volume pages: asks for image
// files, opens them as disks for this run off the user-interface thread (a large E01 reads its
// tables first), tells the user of each file that cannot be read and remembers the others.

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class QThread;
class QWidget;

namespace tarn {

// The image files the user chose (several at once may be chosen); empty when cancelled.
QStringList choose_disk_images(QWidget* owner);
// Replaces the dialog, as tests answer message boxes (an empty function restores it).
using image_chooser = std::function<QStringList()>;
void set_image_chooser(image_chooser chooser);

class image_opener_c : public QObject {
    Q_OBJECT
public:
    // owner: the window the messages belong to.
    explicit image_opener_c(QWidget* owner);
    // Waits for a running open.
    ~image_opener_c() override;

    // Opens every path as a disk. A request while one runs is dropped.
    void open(const QStringList& paths);
    bool busy() const { return thread_ != nullptr; }

signals:
    // After the last file was tried and every refusal was shown: how many became disks.
    void images_opened(int count);

private:
    void on_finished();

    QWidget* owner_;
    std::unique_ptr<QThread> thread_;
    QStringList paths_;
    QStringList opened_;
    QStringList errors_;
};

} // namespace tarn
