#include "scan/counted_engine.h"

namespace tarn {

bool counted_engine_c::live_path(const QStringList& names, QString& path) const
{
    // A found partition has no mount path: a path built on nothing would name a file of the
    // system's own disk.
    if (volume_.mount_path.isEmpty())
        return false;
    QString out = volume_.mount_path;
    if (out.endsWith(QLatin1Char('/')) || out.endsWith(QLatin1Char('\\')))
        out.chop(1);
    for (const QString& name : names) {
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1Char('/'))
            || name.contains(QChar(0)))
            return false;
        out += QLatin1Char('/') + name;
    }
    path = out;
    return true;
}

} // namespace tarn
