#pragma once
// One value of the kernel's sysfs tree, trimmed; empty when it cannot be read.

#include <QFile>
#include <QString>

namespace tarn {

inline QString sysfs_value(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

} // namespace tarn
