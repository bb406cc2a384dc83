#pragma once
// QCOW and QCOW2 images, read with libqcow (The Sleuth Kit's image layer does not read them).

#include "platform/image_source.h"

#include <libqcow.h>

#include <mutex>

namespace tarn {

class qcow_image_source_c final : public image_source_c {
public:
    // Null and a message naming the file when the library refuses it, or when reading it alone
    // would give wrong bytes: an image over a backing file, an encrypted image.
    static std::unique_ptr<qcow_image_source_c> open(const QString& path, QString& error);
    ~qcow_image_source_c() override;
    qcow_image_source_c(const qcow_image_source_c&) = delete;
    qcow_image_source_c& operator=(const qcow_image_source_c&) = delete;

    std::int64_t read_at(std::uint64_t offset, std::span<std::byte> out) override;
    std::uint64_t size() const override { return size_; }
    image_format_e format() const override { return image_format_e::qcow; }

private:
    qcow_image_source_c(libqcow_file_t* file, std::uint64_t size) : file_(file), size_(size) {}

    libqcow_file_t* file_;
    std::uint64_t size_;
    std::mutex read_mutex_;
};

} // namespace tarn
