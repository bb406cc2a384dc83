#include "tests/support/unchanged_images.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace tarn::test {

unchanged_images_c::state_s unchanged_images_c::state_of(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (file.open(QIODevice::ReadOnly))
        hash.addData(&file);
    return {hash.result().toHex(), QFileInfo(path).lastModified().toMSecsSinceEpoch()};
}

void unchanged_images_c::watch(const QString& path)
{
    if (!path.isEmpty())
        states_.insert(path, state_of(path));
}

void unchanged_images_c::watch(const QStringList& paths)
{
    for (const QString& path : paths)
        watch(path);
}

QStringList unchanged_images_c::changed() const
{
    QStringList out;
    for (auto it = states_.cbegin(); it != states_.cend(); ++it) {
        const state_s now = state_of(it.key());
        if (now.sha256 != it->sha256)
            out << it.key() + QStringLiteral(": contents changed");
        else if (now.modified_ms != it->modified_ms)
            out << it.key() + QStringLiteral(": modification time changed");
    }
    return out;
}

} // namespace tarn::test
