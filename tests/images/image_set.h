#pragma once
// The disks the image tests read: a FAT32 volume in a logical partition (behind an extended
// boot record) with live, deleted and carvable files, and an NTFS volume on a whole disk with a
// deleted folder; each copied into every image format the program reads. Made once per test
// program, in a temporary folder.

#include <QString>
#include <QTemporaryDir>

#include <ostream>
#include <vector>

namespace tarn::test {

struct image_format_s {
    const char* name;
    // Makes the copy of raw whose files start with stem; the file to open in made.
    int (*make)(const QString& raw, const QString& stem, QString& made);
};

inline void PrintTo(const image_format_s& format, std::ostream* out) { *out << format.name; }

// Split raw, E01 (in 1 MiB segments), VMDK, VHD, VHDX and QCOW2.
const std::vector<image_format_s>& image_formats();

class image_set_c {
public:
    // 0 when both disks were made.
    int build();
    QString fat_raw() const { return dir_.filePath(QStringLiteral("fat.img")); }
    QString ntfs_raw() const { return dir_.filePath(QStringLiteral("ntfs.img")); }
    QString path(const QString& name) const { return dir_.filePath(name); }
    // Makes the copy of raw in format: the file to open, empty when it could not be made.
    QString copy(const QString& raw, const image_format_s& format);

private:
    int build_fat();
    QTemporaryDir dir_;
};

} // namespace tarn::test
