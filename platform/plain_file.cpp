#include "platform/plain_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

bool open_plain_file(const QString& path, QFile& file, bool block_device)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool plain = ::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || (block_device && S_ISBLK(st.st_mode)));
    // Reads of a regular file or a disk do not honour the flag; it is cleared all the same.
    if (!plain || ::fcntl(fd, F_SETFL, O_RDONLY) != 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

bool is_plain_file(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace tarn
