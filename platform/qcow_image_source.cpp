#include "platform/qcow_image_source.h"

#include "platform/tsk_image_source.h"

#include <QFile>

#include <algorithm>
#include <array>

namespace tarn {

namespace {

// Takes the library's error, if any, as text and frees it.
QString take_error(libqcow_error_t*& error)
{
    if (error == nullptr)
        return QStringLiteral("unknown error");
    std::array<char, 2048> text{};
    libqcow_error_sprint(error, text.data(), text.size());
    libqcow_error_free(&error);
    return library_error_tail(QString::fromUtf8(text.data()));
}

void free_file(libqcow_file_t*& file)
{
    libqcow_file_free(&file, nullptr);
}

// Why the image cannot be read on its own; empty when it can.
QString refusal(libqcow_file_t* file)
{
    std::size_t backing = 0;
    if (libqcow_file_get_utf8_backing_filename_size(file, &backing, nullptr) == 1 && backing > 1)
        return QStringLiteral("it holds only the changes to a backing image, which is not read");
    std::uint32_t encryption = LIBQCOW_ENCRYPTION_METHOD_NONE;
    if (libqcow_file_get_encryption_method(file, &encryption, nullptr) == 1 && encryption != LIBQCOW_ENCRYPTION_METHOD_NONE)
        return QStringLiteral("it is encrypted");
    return {};
}

} // namespace

std::unique_ptr<qcow_image_source_c> qcow_image_source_c::open(const QString& path, QString& error)
{
    libqcow_error_t* failure = nullptr;
    libqcow_file_t* file = nullptr;
    const QByteArray name = QFile::encodeName(path);
    size64_t size = 0;
    QString reason;
    if (libqcow_file_initialize(&file, &failure) != 1) {
        reason = take_error(failure);
    } else if (libqcow_file_open(file, name.constData(), LIBQCOW_OPEN_READ, &failure) != 1) {
        reason = take_error(failure);
        free_file(file);
    } else if (reason = refusal(file); reason.isEmpty() && libqcow_file_get_media_size(file, &size, &failure) != 1) {
        reason = take_error(failure);
    }
    if (reason.isEmpty() && size == 0)
        reason = QStringLiteral("no disk in it");
    if (!reason.isEmpty()) {
        if (file) {
            libqcow_file_close(file, nullptr);
            free_file(file);
        }
        error = QStringLiteral("%1: cannot be read as QCOW2 image (%2)").arg(path, reason);
        return nullptr;
    }
    return std::unique_ptr<qcow_image_source_c>(new qcow_image_source_c(file, size));
}

qcow_image_source_c::~qcow_image_source_c()
{
    libqcow_file_close(file_, nullptr);
    free_file(file_);
}

std::int64_t qcow_image_source_c::read_at(std::uint64_t offset, std::span<std::byte> out)
{
    if (offset >= size_)
        return 0;
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size_ - offset));
    std::lock_guard lock(read_mutex_);
    const ssize_t n = libqcow_file_read_buffer_at_offset(file_, out.data(), length, static_cast<off64_t>(offset), nullptr);
    return n < 0 ? -1 : static_cast<std::int64_t>(n);
}

} // namespace tarn
