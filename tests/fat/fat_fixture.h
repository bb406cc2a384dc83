#pragma once
// Puts images in a temporary folder, makes them the physical disks and opens the sector layer;
// undoes all of it after each test.

#include "scan/disk_sector_layer.h"
#include "scan/fat_volume.h"
#include "tests/fat/fat_builder.h"
#include "tests/support/unchanged_images.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarn::test {

struct dir_item_s {
    std::u16string name;
    std::u16string long_name;
    std::uint8_t attr = 0;
    std::uint32_t cluster = 0;
    std::uint32_t size = 0;
};

class fat_fixture_c : public ::testing::Test {
protected:
    void TearDown() override;
    QString path(const QString& name) const { return dir_.filePath(name); }
    // Makes the listed files disks 0, 1, ... and enumerates them.
    int use_disks(const QStringList& paths);
    int use_image(fat_builder_c& image);
    // Puts the image's bytes into drive slot 0 straight from memory: no file, no environment.
    // The number of drives, as use_image.
    int use_memory(const fat_builder_c& image);
    // Registers fs as volume 0 on drive 0 at the given partition and opens its root.
    int mount(fat_fs_s& fs, fat_dir_s& dir, std::uint8_t partition = 0, std::uint32_t start = 0);
    // Every entry of the directory, read until the empty name; result in *status.
    static std::vector<dir_item_s> list(fat_dir_s& dir, int* status = nullptr);

    QTemporaryDir dir_;
    unchanged_images_c images_;
};

} // namespace tarn::test
