#pragma once
// What the page tests share: a FAT32 volume made by mkfs.fat and mtools with deleted folders
// (one deleted file carrying a hand-made "../" name), made physical disk 0; and the folder
// dialog answered in place of a person.

#include "tests/support/unchanged_images.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

namespace tarn::test {

class pages_volume {
public:
    pages_volume();
    ~pages_volume();
    pages_volume(const pages_volume&) = delete;
    pages_volume& operator=(const pages_volume&) = delete;

    // Deleted tree "Photos" (holiday.png, notes.txt, big.bin of 6 MiB, and the crafted
    // "a/../../e.txt"), deleted tree "Docs/Letters" (letter.txt), live "kept/live.txt". With
    // deleted false nothing is deleted. Then the image becomes disk 0 and the volume list and
    // the sector layer are read again.
    bool build(bool deleted = true);

    // A FAT12 volume of about half a million deleted entries in 500 folders, made by hand
    // (no tool writes that many quickly), so that a scan of it lasts; then made disk 0.
    bool build_busy();

    // A FAT32 volume whose only deleted files, report.txt and photo.jpg, lie in its root.
    bool build_root_only();
    // The standard volume with nothing deleted, then formatted again by mkfs.fat: its files are
    // lost to the new file system but their folders and bytes stay. written_since: then two new
    // files are written over the middle of big.bin.
    bool build_formatted(bool written_since = false);
    // An NTFS volume (mkntfs, libntfs-3g) with the deleted folder "Alt" holding "brief.txt" (5000
    // bytes of seed 3) beside the live folder "Neu".
    bool build_ntfs();

    QString path(const QString& name) const { return dir_.filePath(name); }
    QString image() const { return path(QStringLiteral("fat32.img")); }
    // Overwrites bytes of image() as damage would, after it became disk 0: the change the
    // test makes itself is not one the program made.
    bool patch_image(qint64 offset, const QByteArray& bytes);
    // Contents of the files below "Photos" by the name the scan shows them under.
    const QMap<QString, QByteArray>& photos() const { return photos_; }

private:
    QString source(const QString& name, const QByteArray& data);
    bool craft_dot_dot_name();
    bool use_image(const QString& image);

    QTemporaryDir dir_;
    QMap<QString, QByteArray> photos_;
    unchanged_images_c images_;
};


// Every file below root, as paths relative to it, sorted.
QStringList files_below(const QString& root);

} // namespace tarn::test
