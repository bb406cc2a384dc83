#pragma once
// Disk images in container formats (EWF, VMDK, VHD, VHDX, QCOW2) and raw images split into
// numbered files, read as one disk. A plain raw image is no container: it is read as it stands,
// with pread, by the device layer.

#include "platform/byte_source.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace tarn {

enum class image_format_e { raw, split_raw, ewf, vmdk, vhd, vhdx, qcow };

// The name used in messages and listings ("E01", "VMDK", …).
QString image_format_name(image_format_e format);

class image_source_c : public byte_source_c {
public:
    virtual image_format_e format() const = 0;
};

// What the file's first and last bytes and its name say it is; raw for a file that is not
// readable or carries no container signature.
image_format_e sniff_image_format(const QString& path);

// For a container image (anything sniff_image_format does not call raw): a reader shared by
// every user of that file in this process, opened once, never for writing. Null with an empty
// error for a raw image or anything that is no regular file; null with a message naming the file
// when the image cannot be read (damaged, truncated, a segment or extent missing, a format no
// installed library reads).
std::shared_ptr<image_source_c> open_container_image(const QString& path, QString& error);

// The bytes of the disk the image holds: the container's media size, or the size of the file or
// block device; 0 when it cannot be read.
std::uint64_t image_disk_size(const QString& path);

} // namespace tarn
