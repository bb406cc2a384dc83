#include "recovery/preview_loader.h"

#include "recovery/file_extraction.h"
#include "scan/recovery_base.h"

namespace tarn {

preview_loader_c::~preview_loader_c()
{
    {
        std::lock_guard lock(mutex_);
        abort_ = true;
        pending_.reset();
    }
    wake_.notify_all();
    wait();
}

void preview_loader_c::request(recovery_base_c* engine, int kind, const QString& folder, const recovery_item_s& record)
{
    {
        std::lock_guard lock(mutex_);
        pending_ = request_s{engine, kind, folder, record};
    }
    if (!isRunning())
        start();
    wake_.notify_one();
}

void preview_loader_c::cancel()
{
    std::unique_lock lock(mutex_);
    pending_.reset();
    idle_.wait(lock, [this] { return !busy_; });
}

void preview_loader_c::run()
{
    for (;;) {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return abort_ || pending_.has_value(); });
        if (abort_)
            return;
        const request_s job = std::move(*pending_);
        pending_.reset();
        busy_ = true;
        lock.unlock();
        const preview_content_s content = fetch(job);
        lock.lock();
        busy_ = false;
        const bool stale = pending_.has_value() || abort_;
        idle_.notify_all();
        lock.unlock();
        if (!stale)
            emit loaded(job.record, content);
    }
}

preview_content_s preview_loader_c::fetch(const request_s& job)
{
    // An engine busy with the recover button's extraction is not waited for: the preview of
    // this click stays empty rather than late. Without a private folder there is no preview.
    if (job.folder.isEmpty()
        || extract_one(*job.engine, job.kind, job.folder, job.record, engine_wait_e::skip_if_busy) != recovery_ok)
        return {};
    return load_preview(extraction_path(job.folder, job.record), job.record.name);
}

} // namespace tarn
