#include "platform/mount_table.h"

#include <gtest/gtest.h>

#include <sys/sysmacros.h>

using namespace tarn;

TEST(MountTable, MountPointsOfADeviceInTableOrderWithEscapes)
{
    const mount_table_c table(
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "23 22 0:21 / /proc rw - proc proc rw\n"
        "40 22 8:17 / /media/usb\\040stick rw - vfat /dev/sdb1 rw\n"
        "41 22 8:17 / /mnt/second rw - vfat /dev/sdb1 rw\n"
        "garbage line\n"
        "42 22 x:y / /bad rw - vfat /dev/bad rw\n");
    EXPECT_EQ(table.mount_points(makedev(8, 1)), QStringList{"/"});
    EXPECT_EQ(table.mount_points(makedev(8, 17)), (QStringList{"/media/usb stick", "/mnt/second"}));
    EXPECT_TRUE(table.mount_points(makedev(8, 2)).isEmpty());
}
