#include "bench/support/timed_scan.h"

#include "bench/support/page_cache.h"
#include "scan/recovery_base.h"

#include <QElapsedTimer>

namespace tarn::bench {

double timed_scan(recovery_base_c& engine, const volume_item_s& volume, const QString& image)
{
    drop_cached(image);
    QElapsedTimer t;
    t.start();
    engine.reset();
    engine.set_volume(volume);
    engine.start();
    engine.wait();
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

} // namespace tarn::bench
