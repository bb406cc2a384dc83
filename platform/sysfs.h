#pragma once
// The kernel's sysfs tree. Its root can be moved for tests (TARN_SYSFS_ROOT): a small tree there
// can say what the kernel of a test machine never says, such as a loop device being partition 1
// of another one.

#include <QFile>
#include <QString>

namespace tarn {

// root + relative, where relative starts with "/" ("/block/sda/size").
inline QString sysfs_path(const QString& relative)
{
    static const QString root = qEnvironmentVariableIsSet("TARN_SYSFS_ROOT") ? qEnvironmentVariable("TARN_SYSFS_ROOT")
                                                                                : QStringLiteral("/sys");
    return root + relative;
}

// One value of the tree, trimmed; empty when it cannot be read.
inline QString sysfs_value(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

} // namespace tarn
