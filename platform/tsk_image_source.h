#pragma once
// Container images read through The Sleuth Kit's image layer, which reads EWF with libewf, VMDK
// with libvmdk, VHD and VHDX with libvhdi, and split raw images piece by piece.

#include "platform/image_source.h"

#include <tsk/libtsk.h>

#include <mutex>

namespace tarn {

class tsk_image_source_c final : public image_source_c {
public:
    // files: every file of the image, the first one first. Null and a message naming the first
    // file when the library refuses the image.
    static std::unique_ptr<tsk_image_source_c> open(const QStringList& files, image_format_e format, QString& error);
    ~tsk_image_source_c() override;
    tsk_image_source_c(const tsk_image_source_c&) = delete;
    tsk_image_source_c& operator=(const tsk_image_source_c&) = delete;

    std::int64_t read_at(std::uint64_t offset, std::span<std::byte> out) override;
    std::uint64_t size() const override { return size_; }
    image_format_e format() const override { return format_; }

private:
    tsk_image_source_c(TSK_IMG_INFO* image, image_format_e format);

    TSK_IMG_INFO* image_;
    image_format_e format_;
    std::uint64_t size_;
    std::mutex read_mutex_; // the deep scan reads ahead on a second thread
};

// The last line of a library's chain of error messages, which names what failed, without the
// brackets the chain wraps it in.
QString library_error_tail(const QString& message);

} // namespace tarn
