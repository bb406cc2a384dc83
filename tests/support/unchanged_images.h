#pragma once
// The read-only promise, kept by every test that reads a disk image: the bytes and modification
// time of each image are taken when a test first hands it to the program, and compared when the
// test ends. Nothing the program does while scanning, previewing or recovering may change them.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

namespace tarn::test {

class unchanged_images_c {
public:
    // Takes the image's state now; a test that changes an image on purpose watches it again after.
    void watch(const QString& path);
    void watch(const QStringList& paths);
    // The watched images that differ from their state when watched, each with what changed.
    QStringList changed() const;
    // changed() joined into one line for a failure message; empty when nothing changed.
    QString report() const { return changed().join(QStringLiteral("; ")); }

private:
    struct state_s {
        QByteArray sha256;
        qint64 modified_ms = 0;
        bool operator==(const state_s&) const = default;
    };
    static state_s state_of(const QString& path);

    QMap<QString, state_s> states_;
};

} // namespace tarn::test
