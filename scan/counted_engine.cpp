#include "scan/counted_engine.h"

namespace tarn {

QString counted_engine_c::live_path(const QStringList& names) const
{
    QString out = volume_.mount_path;
    if (out.endsWith(QLatin1Char('/')) || out.endsWith(QLatin1Char('\\')))
        out.chop(1);
    for (const QString& name : names)
        out += QLatin1Char('/') + name;
    return out;
}

} // namespace tarn
