#include "platform/target_folder.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

namespace {

int open_folder_at(int at, const QByteArray& name, int follow)
{
    return ::openat(at, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | follow);
}

} // namespace

target_folder_c::~target_folder_c() { ::close(fd_); }

std::unique_ptr<target_folder_c> target_folder_c::open(const QString& path)
{
    const int fd = open_folder_at(AT_FDCWD, QFile::encodeName(path), 0);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<target_folder_c>(new target_folder_c(fd, st.st_uid, st.st_gid));
}

void target_folder_c::hand_over(int fd) const
{
    // Root recovering into a user's folder: the user must be able to move and delete the files.
    if (::geteuid() == 0 && owner_ != 0 && ::fchown(fd, owner_, group_) != 0)
        return; // the files are still there, only not the user's: no failure of the recovery
}

std::unique_ptr<target_folder_c> target_folder_c::subfolder(const QString& name) const
{
    const QByteArray encoded = QFile::encodeName(name);
    const bool made = ::mkdirat(fd_, encoded.constData(), 0755) == 0;
    if (!made && errno != EEXIST)
        return nullptr;
    const int fd = open_folder_at(fd_, encoded, O_NOFOLLOW);
    if (fd < 0)
        return nullptr;
    if (made)
        hand_over(fd);
    return std::unique_ptr<target_folder_c>(new target_folder_c(fd, owner_, group_));
}

std::unique_ptr<target_file_c> target_folder_c::create_file(const QString& name, int& error) const
{
    const int fd = ::openat(fd_, QFile::encodeName(name).constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    error = 0;
    hand_over(fd);
    return std::unique_ptr<target_file_c>(new target_file_c(fd_, fd, name));
}

bool target_folder_c::remove(const QString& name) const
{
    const QByteArray encoded = QFile::encodeName(name);
    return ::unlinkat(fd_, encoded.constData(), 0) == 0 || errno == ENOENT;
}

target_file_c::~target_file_c() { ::close(fd_); }

QString target_file_c::path() const
{
    return QStringLiteral("/proc/self/fd/%1").arg(fd_);
}

void target_file_c::set_times(qint64 modified, qint64 accessed) const
{
    if (modified == 0 && accessed == 0)
        return;
    struct timespec times[2] = {{accessed, 0}, {modified, 0}};
    if (accessed == 0)
        times[0].tv_nsec = UTIME_OMIT;
    if (modified == 0)
        times[1].tv_nsec = UTIME_OMIT;
    ::futimens(fd_, times);
}

void target_file_c::discard() const
{
    struct stat mine {}, named {};
    const QByteArray encoded = QFile::encodeName(name_);
    if (::fstat(fd_, &mine) == 0 && ::fstatat(folder_fd_, encoded.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
        && mine.st_dev == named.st_dev && mine.st_ino == named.st_ino)
        ::unlinkat(folder_fd_, encoded.constData(), 0);
}

} // namespace tarn
