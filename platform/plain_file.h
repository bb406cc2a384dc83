#pragma once
// Files named by the user or by an image's own tables are opened only when they are regular files
// (or block devices where a disk is expected). The kind is decided on the opened descriptor, which
// is opened without waiting: a FIFO or a device that never answers is refused, never waited on.

#include <QFile>
#include <QString>

namespace tarn {

// Opens path read-only into file when it is a regular file (or, with block_device, a block
// device). False, with file closed, for anything else or when it cannot be opened.
bool open_plain_file(const QString& path, QFile& file, bool block_device = false);

// Whether path is a regular file itself: not a link, a FIFO, a device or a folder.
bool is_plain_file(const QString& path);

} // namespace tarn
