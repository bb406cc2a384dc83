#include "platform/opened_images.h"

#include "platform/image_source.h"
#include "platform/plain_file.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <mutex>

#include <sys/stat.h>

namespace tarn {

namespace {

std::mutex images_mutex;
QStringList& images()
{
    static QStringList list;
    return list;
}

// A disk needs one whole sector; anything shorter holds neither a table nor a file system.
constexpr std::uint64_t smallest_disk = 512;

} // namespace

int check_disk_image(const QString& path, QString& error)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        error = QStringLiteral("%1: no such file").arg(path);
        return -1;
    }
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
        error = QStringLiteral("%1: is not a disk image file").arg(path);
        return -1;
    }
    // Opened again without waiting, its kind decided on the descriptor: a FIFO put in the file's
    // place since the look above cannot hang the program.
    QFile file;
    if (!open_plain_file(path, file, true)) {
        error = QStringLiteral("%1: cannot be read (%2)").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return -1;
    }
    file.close();
    const auto image = open_container_image(path, error);
    if (image == nullptr && !error.isEmpty())
        return -1;
    const std::uint64_t size = image != nullptr ? image->size() : image_disk_size(path);
    if (size < smallest_disk) {
        error = QStringLiteral("%1: is too small to hold a disk (%2 bytes)").arg(path).arg(size);
        return -1;
    }
    return 0;
}

int open_disk_image(const QString& path, QString& error)
{
    error.clear();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (check_disk_image(absolute, error) != 0)
        return -1;
    std::lock_guard lock(images_mutex);
    if (!images().contains(absolute))
        images() << absolute;
    return 0;
}

QStringList opened_disk_images()
{
    std::lock_guard lock(images_mutex);
    return images();
}

bool is_opened_disk_image(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    std::lock_guard lock(images_mutex);
    return images().contains(absolute);
}

} // namespace tarn
