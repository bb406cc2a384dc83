#pragma once
// The start-up worker: finds the disks and volumes off the user-interface thread so that the
// window shows at once.

#include <QThread>

namespace tarn {

class init_c : public QThread {
    Q_OBJECT
public:
    using QThread::QThread;
    // The worker is waited for before it is destroyed, even when the window closed early.
    ~init_c() override { wait(); }

signals:
    void init_finished();

protected:
    void run() override;
};

} // namespace tarn
