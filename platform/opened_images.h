#pragma once
// Disk images the user opened in this run (from the window or with the command line's
// --image): disks after the machine's own, or after those of TARN_DISKS, in the order opened.
// They are read, never written, and forgotten when the program ends.

#include <QString>
#include <QStringList>

namespace tarn {

// Whether the file at path can be read as a disk: a regular file or block device (stat looks
// before anything is opened, so a FIFO cannot hang the program), readable, a container whose
// tables check out, at least one sector large. 0, or -1 with a message naming the file.
int check_disk_image(const QString& path, QString& error);

// Makes the image at path a disk. 0 on success, and for an image that is already a disk; -1 with
// a message naming the file when it is no image the program can read (missing, unreadable,
// shorter than a sector, a container that is damaged or cut short, a segment missing, a format
// no installed library reads). Nothing of a refused file is listed.
int open_disk_image(const QString& path, QString& error);

// The opened images, as absolute paths, in the order they were opened.
QStringList opened_disk_images();
bool is_opened_disk_image(const QString& path);

} // namespace tarn
