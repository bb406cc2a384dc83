#include "platform/image_source.h"

#include "platform/container_checks.h"
#include "platform/image_segments.h"
#include "platform/plain_file.h"
#include "platform/qcow_image_source.h"
#include "platform/tsk_image_source.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

namespace tarn {

namespace {

struct image_ends_s {
    char head[64] = {};
    char tail[512] = {};
    bool has_tail = false;
};

bool read_ends(const QString& path, image_ends_s& ends)
{
    QFile file;
    if (!open_plain_file(path, file))
        return false;
    file.read(ends.head, sizeof ends.head);
    ends.has_tail = file.size() >= static_cast<qint64>(sizeof ends.tail) && file.seek(file.size() - sizeof ends.tail)
                    && file.read(ends.tail, sizeof ends.tail) == static_cast<qint64>(sizeof ends.tail);
    return true;
}

bool starts_with(const char* bytes, const char* magic)
{
    return std::memcmp(bytes, magic, std::strlen(magic)) == 0;
}

std::unique_ptr<image_source_c> open_image(const QString& path, image_format_e format, QString& error)
{
    if (const QString refusal = container_refusal(path, format); !refusal.isEmpty()) {
        error = QStringLiteral("%1: cannot be read as %2 image (%3)").arg(path, image_format_name(format), refusal);
        return nullptr;
    }
    QStringList files{path};
    if (format == image_format_e::ewf && ewf_segment_files(path, files, error) != 0)
        return nullptr;
    if (format == image_format_e::split_raw && split_raw_files(path, files, error) != 0)
        return nullptr;
    if (format == image_format_e::qcow)
        return qcow_image_source_c::open(path, error);
    return tsk_image_source_c::open(files, format, error);
}

// One reader per image file for the whole run. The key holds the file's size and time too, so
// that a file replaced under the same name is opened afresh.
std::mutex cache_mutex;
std::map<QString, std::shared_ptr<image_source_c>>& cache()
{
    static std::map<QString, std::shared_ptr<image_source_c>> readers;
    return readers;
}

} // namespace

QString image_format_name(image_format_e format)
{
    switch (format) {
    case image_format_e::raw: return QStringLiteral("raw");
    case image_format_e::split_raw: return QStringLiteral("split raw");
    case image_format_e::ewf: return QStringLiteral("E01");
    case image_format_e::vmdk: return QStringLiteral("VMDK");
    case image_format_e::vhd: return QStringLiteral("VHD");
    case image_format_e::vhdx: return QStringLiteral("VHDX");
    case image_format_e::qcow: return QStringLiteral("QCOW2");
    }
    return {};
}

image_format_e sniff_image_format(const QString& path)
{
    image_ends_s ends;
    if (!read_ends(path, ends))
        return image_format_e::raw;
    if (starts_with(ends.head, "EVF\x09\x0d\x0a\xff") || starts_with(ends.head, "EVF2\x0d\x0a\x81"))
        return image_format_e::ewf;
    if (starts_with(ends.head, "KDMV") || starts_with(ends.head, "COWD") || starts_with(ends.head, "# Disk DescriptorFile"))
        return image_format_e::vmdk;
    if (starts_with(ends.head, "vhdxfile"))
        return image_format_e::vhdx;
    // A dynamic VHD keeps a copy of its footer at the start; a fixed one has it only at the end.
    if (starts_with(ends.head, "conectix") || (ends.has_tail && starts_with(ends.tail, "conectix")))
        return image_format_e::vhd;
    if (starts_with(ends.head, "QFI\xfb"))
        return image_format_e::qcow;
    if (is_split_raw_piece(path))
        return image_format_e::split_raw;
    return image_format_e::raw;
}

std::shared_ptr<image_source_c> open_container_image(const QString& path, QString& error)
{
    error.clear();
    const image_format_e format = sniff_image_format(path);
    if (format == image_format_e::raw)
        return nullptr;
    const QFileInfo info(path);
    const QString key = info.canonicalFilePath() + QLatin1Char('|') + QString::number(info.size()) + QLatin1Char('|')
                        + QString::number(info.lastModified().toMSecsSinceEpoch());
    std::lock_guard lock(cache_mutex);
    if (const auto found = cache().find(key); found != cache().end())
        return found->second;
    std::shared_ptr<image_source_c> reader = open_image(path, format, error);
    if (reader)
        cache().emplace(key, reader);
    return reader;
}

std::uint64_t image_disk_size(const QString& path)
{
    QString error;
    if (const auto image = open_container_image(path, error))
        return image->size();
    if (!error.isEmpty())
        return 0;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    const off_t end = ::lseek(fd, 0, SEEK_END);
    ::close(fd);
    return end > 0 ? static_cast<std::uint64_t>(end) : 0;
}

} // namespace tarn
