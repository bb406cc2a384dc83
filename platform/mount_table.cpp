#include "platform/mount_table.h"

#include <QFile>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

namespace tarn {

namespace {

// mountinfo escapes blanks, tabs, newlines and backslashes as three-digit octal codes.
QString unescape(const QString& field)
{
    QByteArray raw = field.toUtf8();
    QByteArray out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 3 < raw.size()) {
            bool ok = false;
            const int code = raw.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && code < 256) {
                out.append(static_cast<char>(code));
                i += 3;
                continue;
            }
        }
        out.append(raw[i]);
    }
    return QString::fromUtf8(out);
}

} // namespace

mount_table_c::mount_table_c()
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (file.open(QIODevice::ReadOnly))
        parse(QString::fromUtf8(file.readAll()));
}

mount_table_c::mount_table_c(const QString& mountinfo_text) { parse(mountinfo_text); }

void mount_table_c::parse(const QString& text)
{
    for (const auto& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const auto fields = line.split(QLatin1Char(' '));
        if (fields.size() < 5)
            continue;
        const auto numbers = fields[2].split(QLatin1Char(':'));
        bool major_ok = false, minor_ok = false;
        const unsigned major_number = numbers.value(0).toUInt(&major_ok);
        const unsigned minor_number = numbers.value(1).toUInt(&minor_ok);
        if (numbers.size() != 2 || !major_ok || !minor_ok || major_number == 0)
            continue;
        points_[makedev(major_number, minor_number)].append(unescape(fields[4]));
    }
}

QStringList mount_table_c::mount_points(std::uint64_t device_number) const
{
    const auto it = points_.find(device_number);
    return it == points_.end() ? QStringList() : it->second;
}

std::uint64_t block_device_number(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISBLK(st.st_mode))
        return 0;
    return st.st_rdev;
}

bool mounted_space(const QString& path, space_s& out)
{
    struct statvfs vfs {};
    if (::statvfs(QFile::encodeName(path).constData(), &vfs) != 0)
        return false;
    out.total = std::uint64_t{vfs.f_blocks} * vfs.f_frsize;
    out.free = std::uint64_t{vfs.f_bfree} * vfs.f_frsize;
    return true;
}

} // namespace tarn
