#include "libs/ntfs_scan/tsk_byte_image.h"

#include "platform/noting_source.h"

// The image layer's own allocation and lock calls; the library exports them without declaring them
// in its installed headers, and an external image must be made and freed with them.
extern "C" {
void* tsk_img_malloc(size_t size);
void tsk_img_free(void* image);
void tsk_deinit_lock(tsk_lock_t* lock);
}

namespace tarn {

namespace {

// The image layer's record comes first, so that its pointer is ours too.
struct byte_image_s {
    TSK_IMG_INFO info;
    noting_source_c* source; // notes what failed, so that the scan can say where
};

ssize_t read_source(TSK_IMG_INFO* image, TSK_OFF_T offset, char* buffer, size_t length)
{
    auto* self = reinterpret_cast<byte_image_s*>(image);
    if (offset < 0)
        return -1;
    const auto got = self->source->read_at(static_cast<std::uint64_t>(offset),
                                           std::span<std::byte>(reinterpret_cast<std::byte*>(buffer), length));
    return got < 0 ? -1 : static_cast<ssize_t>(got);
}

void close_source(TSK_IMG_INFO* image)
{
    auto* self = reinterpret_cast<byte_image_s*>(image);
    delete self->source;
    tsk_deinit_lock(&image->cache_lock);
    tsk_img_free(image);
}

void describe_source(TSK_IMG_INFO*, FILE* out)
{
    std::fputs("byte source\n", out);
}

} // namespace

byte_source_c& tsk_image_source(TSK_IMG_INFO* image)
{
    return *reinterpret_cast<byte_image_s*>(image)->source;
}

read_failures_c tsk_image_take_failures(TSK_IMG_INFO* image)
{
    return reinterpret_cast<byte_image_s*>(image)->source->take_failures();
}

tsk_image_ptr open_tsk_image(std::unique_ptr<byte_source_c> source)
{
    if (!source || source->size() == 0)
        return nullptr;
    auto* self = static_cast<byte_image_s*>(tsk_img_malloc(sizeof(byte_image_s)));
    if (self == nullptr)
        return nullptr;
    const auto size = static_cast<TSK_OFF_T>(source->size());
    self->source = new noting_source_c(std::move(source));
    TSK_IMG_INFO* image = tsk_img_open_external(self, size, 512, read_source, close_source, describe_source);
    if (image == nullptr) {
        delete self->source;
        tsk_img_free(self);
    }
    return tsk_image_ptr(image);
}

} // namespace tarn
