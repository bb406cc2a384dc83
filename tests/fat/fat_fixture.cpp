#include "tests/fat/fat_fixture.h"

#include "platform/memory_source.h"

#include <QDir>

namespace tarn::test {

void fat_fixture_c::TearDown()
{
    f_mount(0, nullptr);
    disk_shutdown();
    qunsetenv("TARN_DISKS");
    EXPECT_EQ(images_.report(), QString());
}

int fat_fixture_c::use_disks(const QStringList& paths)
{
    qputenv("TARN_DISKS", paths.join(QLatin1Char(':')).toUtf8());
    images_.watch(paths);
    return disk_enumerate();
}

int fat_fixture_c::use_image(fat_builder_c& image)
{
    const QString file = path(QStringLiteral("disk0.img"));
    if (image.save(file) != 0)
        return -1;
    return use_disks({file});
}

int fat_fixture_c::use_memory(const fat_builder_c& image)
{
    return disk_attach(0, std::make_unique<memory_source_c>(image.bytes())) == 0 ? disk_drive_count() : -1;
}

int fat_fixture_c::mount(fat_fs_s& fs, fat_dir_s& dir, std::uint8_t partition, std::uint32_t start)
{
    fat_partition_table()[0] = fat_partition_s{0, partition, start};
    f_mount(0, &fs);
    return f_opendir(dir, u"/");
}

std::vector<dir_item_s> fat_fixture_c::list(fat_dir_s& dir, int* status)
{
    std::vector<dir_item_s> items;
    std::array<char16_t, 512> lfn{};
    for (;;) {
        fat_info_s info;
        info.lfname = lfn.data();
        info.lfsize = lfn.size();
        const int result = f_readdir(dir, &info);
        if (status)
            *status = result;
        if (result != fr_ok || info.fname[0] == 0)
            return items;
        items.push_back({info.fname.data(), lfn.data(), info.attr, info.sclust, info.size});
    }
}

} // namespace tarn::test
