#include "tests/pages/page_images.h"

#include "disk/drive_enumeration.h"
#include "tests/partition/partition_fixtures.h"
#include "tests/support/test_support.h"

namespace tarn::test {

int make_lost_partitions_image(const QString& image, std::uint64_t bytes)
{
    if (make_sparse_file(image, bytes) != 0)
        return -1;
    const QString table = QStringLiteral("label: dos\nlabel-id: 0x12345678\n"
                                         "start=2048, size=16384, type=7, bootable\n"
                                         "start=18432, size=81900, type=c\n");
    if (write_partition_table(image, table) != 0 || make_ntfs_in_image(image, 2048, 16384) != 0
        || make_fat32_in_image(image, 18432, 81900) != 0)
        return -1;
    return zero_partition_table(image);
}

drive_item_s image_drive(const QString& image)
{
    const auto drives = list_drives({image});
    return drives.size() == 2 ? drives[1] : drive_item_s{};
}

QByteArray sector0(const QString& image)
{
    return read_file_range(image, 0, 512);
}

} // namespace tarn::test
