#include "platform/system.h"

#include "platform/device_location.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

bool is_admin() { return ::geteuid() == 0; }

std::unique_ptr<QLockFile> single_instance_lock(const QString& name, QString* why)
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    auto lock = std::make_unique<QLockFile>(dir + QLatin1Char('/') + name + QStringLiteral(".lock"));
    // A lock left by a process that died is taken over; one held by a live process is not.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0))
        return lock;
    if (why != nullptr && lock->error() != QLockFile::LockFailedError)
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

QString config_dir()
{
    QString dir = qEnvironmentVariable("XDG_CONFIG_HOME");
    return dir.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : dir;
}

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
    QString dir = qEnvironmentVariable("XDG_STATE_HOME");
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.local/state");
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
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
