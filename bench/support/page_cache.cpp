#include "bench/support/page_cache.h"

#include <QElapsedTimer>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace tarn::bench {

void drop_cached(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

double plain_read_seconds(const QString& path, std::uint64_t offset, std::uint64_t bytes)
{
    drop_cached(path);
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly) || !in.seek(static_cast<qint64>(offset)))
        return 0;
    QByteArray block(1 << 20, '\0');
    QElapsedTimer t;
    t.start();
    for (std::uint64_t done = 0; done < bytes; done += static_cast<std::uint64_t>(block.size()))
        in.read(block.data(), block.size());
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

} // namespace tarn::bench
