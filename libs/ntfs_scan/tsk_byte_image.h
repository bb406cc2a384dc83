#pragma once
// The Sleuth Kit's image layer over one of the program's byte sources, so that image files, real
// devices and buffers in memory all reach the NTFS reader the same way.

#include "platform/byte_source.h"
#include "platform/read_failures.h"

#include <tsk/libtsk.h>

#include <memory>

namespace tarn {

struct tsk_image_closer {
    void operator()(TSK_IMG_INFO* image) const { tsk_img_close(image); }
};
using tsk_image_ptr = std::unique_ptr<TSK_IMG_INFO, tsk_image_closer>;

// An image that owns source and reads through it; null when the image layer refuses it. A read
// that fails or comes back short inside the source fails, and is noted.
tsk_image_ptr open_tsk_image(std::unique_ptr<byte_source_c> source);
// The byte source under an image made by open_tsk_image: large reads go to it directly, past the
// image layer's cache of small blocks.
byte_source_c& tsk_image_source(TSK_IMG_INFO* image);
// The byte ranges whose reads failed since the last call.
read_failures_c tsk_image_take_failures(TSK_IMG_INFO* image);

} // namespace tarn
