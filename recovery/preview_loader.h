#pragma once
// Fetches a clicked file for the preview off the user-interface thread: the engine writes it into
// the private temporary folder, then it is read back as a picture or as text. One long-lived
// worker serves every click: the newest request waits under a lock, a request that arrives
// during a fetch makes that fetch's result stale, and the destructor aborts and joins.

#include "recovery/preview_content.h"
#include "scan/recovery_item.h"

#include <QString>
#include <QThread>

#include <condition_variable>
#include <mutex>
#include <optional>

namespace tarn {

class recovery_base_c;

class preview_loader_c : public QThread {
    Q_OBJECT
public:
    using QThread::QThread;
    ~preview_loader_c() override;

    // Fetches record through engine (of scanner kind) into folder. Replaces any request not yet
    // begun: only the last click counts.
    void request(recovery_base_c* engine, int kind, const QString& folder, const recovery_item_s& record);
    // Forgets a request not yet begun and waits for a fetch in progress: the engine is about to
    // be reset.
    void cancel();

signals:
    // A fetch ended and no newer request came meanwhile: the record and what was read of it
    // (empty on failure). Delivered on the thread that owns the loader.
    void loaded(const tarn::recovery_item_s& record, const tarn::preview_content_s& content);

protected:
    void run() override;

private:
    struct request_s {
        recovery_base_c* engine;
        int kind;
        QString folder;
        recovery_item_s record;
    };
    static preview_content_s fetch(const request_s& job);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::optional<request_s> pending_;
    bool busy_ = false;
    bool abort_ = false;
};

} // namespace tarn
