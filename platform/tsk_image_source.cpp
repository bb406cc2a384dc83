#include "platform/tsk_image_source.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace tarn {

namespace {

TSK_IMG_TYPE_ENUM tsk_type(image_format_e format)
{
    switch (format) {
    case image_format_e::ewf: return TSK_IMG_TYPE_EWF_EWF;
    case image_format_e::vmdk: return TSK_IMG_TYPE_VMDK_VMDK;
    case image_format_e::vhd:
    case image_format_e::vhdx: return TSK_IMG_TYPE_VHD_VHD;
    default: return TSK_IMG_TYPE_RAW;
    }
}

} // namespace

QString library_error_tail(const QString& message)
{
    const QStringList lines = message.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QString tail = lines.isEmpty() ? QString() : lines.back();
    tail.remove(QRegularExpression(QStringLiteral("[\\s().]+$")));
    tail.remove(QRegularExpression(QStringLiteral("^Error opening image file \\(")));
    // A refusal never ends in an empty reason.
    return tail.trimmed().isEmpty() ? QStringLiteral("the reading library gave no reason") : tail;
}

std::unique_ptr<tsk_image_source_c> tsk_image_source_c::open(const QStringList& files, image_format_e format,
                                                             QString& error)
{
    std::vector<QByteArray> names;
    std::vector<const char*> pointers;
    for (const auto& file : files)
        names.push_back(QFile::encodeName(file));
    for (const auto& name : names)
        pointers.push_back(name.constData());
    tsk_error_reset();
    // The type is named, never detected: detection falls back to reading a damaged container as
    // a raw image.
    TSK_IMG_INFO* image = tsk_img_open_utf8(static_cast<int>(pointers.size()), pointers.data(), tsk_type(format), 0);
    if (image == nullptr || image->size <= 0) {
        const char* reason = tsk_error_get();
        error = QStringLiteral("%1: cannot be read as %2 image (%3)")
                    .arg(files.value(0), image_format_name(format),
                         reason ? library_error_tail(QString::fromUtf8(reason)) : QStringLiteral("no disk in it"));
        if (image)
            tsk_img_close(image);
        tsk_error_reset();
        return nullptr;
    }
    return std::unique_ptr<tsk_image_source_c>(new tsk_image_source_c(image, format));
}

tsk_image_source_c::tsk_image_source_c(TSK_IMG_INFO* image, image_format_e format)
    : image_(image), format_(format), size_(static_cast<std::uint64_t>(image->size))
{
}

tsk_image_source_c::~tsk_image_source_c() { tsk_img_close(image_); }

std::int64_t tsk_image_source_c::read_at(std::uint64_t offset, std::span<std::byte> out)
{
    if (offset >= size_)
        return 0;
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size_ - offset));
    std::lock_guard lock(read_mutex_);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = tsk_img_read(image_, static_cast<TSK_OFF_T>(offset + done),
                                       reinterpret_cast<char*>(out.data() + done), length - done);
        if (n < 0) {
            tsk_error_reset();
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

} // namespace tarn
