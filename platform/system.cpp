#include "platform/system.h"

#include "platform/device_location.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

bool is_admin() { return ::geteuid() == 0; }

namespace {

// A folder of the shared temporary folder that only this user may write: another user could plant
// a lock file or a link in the shared folder itself. Empty, with the reason, when the name is
// taken by anything else.
QString private_shared_dir(QString& why)
{
    const QString dir = QDir::tempPath() + QStringLiteral("/tarnrecovery-%1").arg(::geteuid());
    const QByteArray path = QFile::encodeName(dir);
    ::mkdir(path.constData(), 0700);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
        why = QStringLiteral("%1 is not a folder that only this user may write").arg(dir);
        return {};
    }
    return dir;
}

} // namespace

std::unique_ptr<QLockFile> single_instance_lock(const QString& name, QString* why)
{
    // Qt's runtime folder is the user's own (it checks the owner and the mode).
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    QString reason;
    if (dir.isEmpty())
        dir = private_shared_dir(reason);
    if (dir.isEmpty()) {
        if (why != nullptr)
            *why = QStringLiteral("cannot take the lock: ") + reason;
        return nullptr;
    }
    auto lock = std::make_unique<QLockFile>(dir + QLatin1Char('/') + name + QStringLiteral(".lock"));
    // A lock left by a process that died is taken over; one held by a live process is not.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0))
        return lock;
    qint64 holder = 0;
    QString host, application;
    if (why == nullptr)
        return nullptr;
    if (lock->error() == QLockFile::LockFailedError)
        *why = lock->getLockInfo(&holder, &host, &application)
                   ? QStringLiteral("another copy is running (process %1; lock file %2)").arg(holder).arg(lock->fileName())
                   : QStringLiteral("another copy is running (lock file %1)").arg(lock->fileName());
    else
        *why = QStringLiteral("cannot create the lock file %1: %2")
                   .arg(lock->fileName(), lock->error() == QLockFile::PermissionError
                                               ? QStringLiteral("permission denied")
                                               : QString::fromLocal8Bit(std::strerror(errno)));
    return nullptr;
}

void launch_disk_tool() {}

namespace {

std::atomic<bool>& console_on()
{
    static std::atomic<bool> on{::isatty(STDOUT_FILENO) == 1};
    return on;
}

} // namespace

bool console_attached() { return console_on().load(std::memory_order_relaxed); }

void detach_console() { console_on().store(false, std::memory_order_relaxed); }

void console_write(const QString& text)
{
    if (!console_attached())
        return;
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

namespace {

// Whether root would make folders that belong to another user's tree: the nearest part of dir
// that exists is someone else's (sudo keeps the user's HOME). Root-owned folders there could not
// be removed by the user, and a link planted there could steer root's writes.
bool another_users(const QString& dir)
{
    if (::geteuid() != 0)
        return false;
    struct stat st {};
    for (QString at = QDir::cleanPath(dir); !at.isEmpty(); at = QFileInfo(at).path()) {
        if (::stat(QFile::encodeName(at).constData(), &st) == 0)
            return st.st_uid != 0;
        if (at == QLatin1String("/"))
            break;
    }
    return false;
}

QString root_home()
{
    passwd entry {};
    passwd* found = nullptr;
    std::array<char, 4096> text {};
    if (::getpwuid_r(0, &entry, text.data(), text.size(), &found) == 0 && found != nullptr && found->pw_dir != nullptr)
        return QString::fromLocal8Bit(found->pw_dir);
    return QStringLiteral("/root");
}

// The folder an XDG variable names, else its default below the home; root whose home or
// variable points into another user's tree uses root's own home instead.
QString user_dir(const char* variable, const char* below_home)
{
    QString dir = qEnvironmentVariable(variable);
    if (dir.isEmpty())
        dir = QDir::homePath() + QLatin1String(below_home);
    if (another_users(dir))
        dir = root_home() + QLatin1String(below_home);
    return dir;
}

QString config_dir() { return user_dir("XDG_CONFIG_HOME", "/.config"); }

} // namespace

QString user_value(const QString& key, const QString& name)
{
    QSettings store(config_dir() + QLatin1Char('/') + key + QStringLiteral(".ini"), QSettings::IniFormat);
    return store.value(name).toString();
}

int set_user_value(const QString& key, const QString& name, const QString& value)
{
    QDir().mkpath(config_dir());
    QSettings store(config_dir() + QLatin1Char('/') + key + QStringLiteral(".ini"), QSettings::IniFormat);
    store.setValue(name, value);
    store.sync();
    return store.status() == QSettings::NoError ? 0 : -1;
}

QString log_file_path(const QString& name)
{
    const QString dir = user_dir("XDG_STATE_HOME", "/.local/state");
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}

int append_to_file(const QString& path, const QByteArray& bytes)
{
    // A link planted under the log's name is not followed: root would create or extend its target.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<std::size_t>(bytes.size() - done));
        if (n <= 0)
            break;
        done += n;
    }
    ::close(fd);
    return done == bytes.size() ? 0 : -1;
}

QString system_root() { return QDir::homePath(); }

QString temp_dir() { return QDir::tempPath(); }

QString private_temp_dir()
{
    // QTemporaryDir makes its folder with mode 0700 and removes it, contents and all, when the
    // static object is destroyed at exit.
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tarnrecovery-XXXXXX"));
    return dir.isValid() ? dir.path() : QString();
}

QString executable_dir()
{
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

QString data_file_path(const QString& name)
{
    const QString exe = executable_dir();
    for (const QString& dir : {QDir::currentPath(), exe, exe + QStringLiteral("/../share/tarnrecovery")}) {
        const QString path = dir + QLatin1Char('/') + name;
        if (QFileInfo::exists(path))
            return QDir::cleanPath(path);
    }
    return name;
}

bool same_volume(const QString& folder, const QString& device)
{
    struct stat folder_st {};
    if (::stat(QFile::encodeName(folder).constData(), &folder_st) != 0)
        return false;
    const auto location = locate_device(device);
    if (!location)
        return false;
    struct stat device_st {};
    if (::stat(QFile::encodeName(location->file).constData(), &device_st) != 0)
        return false;
    // A volume inside an image file is not mounted: a folder can only lie on it if the
    // folder is the image itself, which is no folder.
    return S_ISBLK(device_st.st_mode) && folder_st.st_dev == device_st.st_rdev;
}

} // namespace tarn
