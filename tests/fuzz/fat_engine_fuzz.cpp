// The FAT engine's whole scan over a volume made of the input: the walk of every folder, the
// search for folder clusters the walk did not reach (over the whole volume for inputs of odd
// length, as the search for lost files does) and their placing, the tree's linking, the judging of
// unlisted files; then a few of the files it found are recovered.

#include "scan/disk_sector_layer.h"
#include "scan/fat_recovery.h"
#include "tests/fuzz/fuzz_support.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <memory>

using namespace tarn;

namespace {

constexpr int most_recovered = 16;
constexpr std::uint32_t most_recovered_bytes = 1 << 18;

// The engine finds its volume by path, as in image mode: a file named as disk 0 stands for the
// drive slot that the input is put into. Its log goes nowhere.
volume_item_s setup()
{
    const QString disk = fuzz::scratch_file(QStringLiteral("disk0.img"), std::array<std::uint8_t, 512>{});
    qputenv("TARN_DISKS", QFile::encodeName(disk));
    qputenv("XDG_STATE_HOME", QFile::encodeName(fuzz::scratch_dir()));
    QFile::link(QStringLiteral("/dev/null"), fuzz::scratch_dir() + QStringLiteral("/Velloran.log"));
    volume_item_s volume;
    volume.volume_path = disk + QLatin1Char('\\');
    volume.mount_path = QStringLiteral("/mnt/fuzz/");
    volume.fs_name = QStringLiteral("FAT32");
    return volume;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const volume_item_s volume = setup();
    static const QString out = fuzz::scratch_dir() + QStringLiteral("/out.bin");
    static fat_recovery_c engine;
    auto disk = std::make_unique<fuzz::sparse_source_c>(std::max<std::uint64_t>(size, 40 << 20));
    disk->place(0, {data, size});
    if (disk_attach(0, std::move(disk)) != 0)
        return 0;
    engine.reset();
    engine.set_volume(volume);
    engine.set_lost_search((size & 1) != 0);
    engine.start();
    engine.wait();
    int recovered = 0;
    for (const auto& [cluster, record] : engine.findings()) {
        if (recovered == most_recovered)
            break;
        if (record.size <= most_recovered_bytes && !(record.attributes & fat_attr_directory)) {
            engine.recover_file(cluster, out);
            QString path;
            engine.get_file_path(cluster, path);
            ++recovered;
        }
    }
    return 0;
}
