#pragma once
// NTFS test volumes: mkntfs, then folders and files written and deleted through tarn-ntfs-edit at
// a fixed time, so that every run makes the same bytes.

#include <QString>
#include <QStringList>

namespace tarn::test {

// Makes image (bytes long) with mkntfs and runs the edit commands on it. 0 on success.
int make_ntfs_volume(const QString& image, qint64 bytes, const QStringList& commands);

} // namespace tarn::test
