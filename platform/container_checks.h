#pragma once
// What the program checks of a container image itself before a reading library sees it: the
// libraries trust the image's own tables, and a crafted one would steer them (an extent named
// "../../etc/passwd", a disk of 2^62 bytes read block by block for ever, a parent's bytes read
// back as zeros).

#include "platform/image_source.h"

#include <QString>

namespace tarn {

// Why the container at path must not be opened, as the end of a sentence ("it holds only the
// changes to a parent image, which is not read"); empty when it may be. Looks at VMDK extents,
// QCOW2, VHD and VHDX sizes against their tables and files, and differencing images.
QString container_refusal(const QString& path, image_format_e format);

} // namespace tarn
