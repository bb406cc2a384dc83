#pragma once
// A FAT32 volume made by mkfs.fat and mtools in a temporary folder, made physical disk 0 and
// scanned by the FAT engine; undone when the fixture goes.

#include "scan/fat_recovery.h"
#include "tests/support/unchanged_images.h"

#include <QByteArray>
#include <QMap>
#include <QTemporaryDir>

namespace tarn::test {

class recovery_fixture {
public:
    recovery_fixture();
    ~recovery_fixture();
    recovery_fixture(const recovery_fixture&) = delete;
    recovery_fixture& operator=(const recovery_fixture&) = delete;

    bool ok() const { return dir_.isValid(); }
    QString path(const QString& name) const { return dir_.filePath(name); }

    // Folders "Fotos" (live; deleted "Bild.jpg", "Baar.txt", "Caar.txt" — the last two both read
    // "#aar.txt" once deleted), "kept" (live, only a live file) and "Alt/Tief" (deleted with
    // "Tief/Tiefer.bin"). Original contents by file name in originals().
    bool build_standard_volume();
    // Makes image physical disk 0 for the engine.
    bool use_image(const QString& image);
    // Runs the engine over disk 0 to its end.
    bool scan(fat_recovery_c& engine);

    const QMap<QString, QByteArray>& originals() const { return originals_; }

private:
    bool mtools(const QStringList& args);
    QString make_source(const QString& name, int size);

    QTemporaryDir dir_;
    QString image_;
    unchanged_images_c images_;
    QMap<QString, QByteArray> originals_;
};

} // namespace tarn::test
