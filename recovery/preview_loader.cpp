#include "recovery/preview_loader.h"

#include "recovery/file_extraction.h"

namespace tarn {

void preview_loader_c::request(recovery_base_c* engine, int kind, const QString& folder, const recovery_item_s& record)
{
    request_s next{engine, kind, folder, record};
    if (isRunning())
        waiting_ = std::move(next);
    else
        begin(std::move(next));
}

void preview_loader_c::cancel()
{
    waiting_.reset();
    wait();
}

bool preview_loader_c::start_waiting()
{
    if (!waiting_)
        return false;
    request_s next = std::move(*waiting_);
    waiting_.reset();
    begin(std::move(next));
    return true;
}

void preview_loader_c::begin(request_s next)
{
    current_ = std::move(next);
    record_ = current_.record;
    content_ = {};
    start();
}

void preview_loader_c::run()
{
    // An engine busy with the recover button's extraction is not waited for: the preview of
    // this click stays empty rather than late. Without a private folder there is no preview.
    if (current_.folder.isEmpty()
        || extract_one(*current_.engine, current_.kind, current_.folder, current_.record, engine_wait_e::skip_if_busy) != 0)
        return;
    content_ = load_preview(extraction_path(current_.folder, current_.record), current_.record.name);
}

} // namespace tarn
