#pragma once
// Fetches a clicked file for the preview off the user-interface thread: the engine writes it into
// the temporary folder, then it is read back as a picture or as text.

#include "recovery/preview_content.h"
#include "scan/recovery_item.h"

#include <QThread>

#include <optional>

namespace tarn {

class recovery_base_c;

class preview_loader_c : public QThread {
    Q_OBJECT
public:
    using QThread::QThread;
    ~preview_loader_c() override { wait(); }

    // Fetches record through engine (of scanner kind) into folder. While an earlier fetch runs
    // the request waits and replaces any request that waited before it: only the last click counts.
    void request(recovery_base_c* engine, int kind, const QString& folder, const recovery_item_s& record);
    // Forgets a waiting request and waits for a running fetch: the engine is about to be reset.
    void cancel();

    // After finished(): the record fetched and what was read of it (empty on failure).
    const recovery_item_s& record() const { return record_; }
    const preview_content_s& content() const { return content_; }
    // True when a request waited and has now been started; the finished fetch is stale then.
    bool start_waiting();

protected:
    void run() override;

private:
    struct request_s {
        recovery_base_c* engine;
        int kind;
        QString folder;
        recovery_item_s record;
    };
    void begin(request_s next);

    request_s current_{};
    std::optional<request_s> waiting_;
    recovery_item_s record_;
    preview_content_s content_;
};

} // namespace tarn
