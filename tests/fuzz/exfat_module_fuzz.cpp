// The exFAT module under its engine, over a volume made of the input: the boot region (and its
// backup), the bitmap and up-case table, the walk of every folder, deleted ones too, the checks
// of deleted files' chains, and for inputs of odd length the search for lost files over the
// whole volume; then a few of the files found are recovered and their live paths built.

#include "scan/exfat_recovery.h"
#include "tests/fuzz/fuzz_support.h"

#include <QFile>

#include <algorithm>
#include <memory>

using namespace tarn;

namespace {

constexpr int most_recovered = 16;
constexpr std::uint64_t most_recovered_bytes = 1 << 18;

// The engine's log goes nowhere.
volume_item_s setup()
{
    qputenv("XDG_STATE_HOME", QFile::encodeName(fuzz::scratch_dir()));
    QFile::link(QStringLiteral("/dev/null"), fuzz::scratch_dir() + QStringLiteral("/Velloran.log"));
    volume_item_s volume;
    volume.mount_path = QStringLiteral("/mnt/fuzz/");
    volume.fs_name = QStringLiteral("exFAT");
    return volume;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const volume_item_s volume = setup();
    static const QString out = fuzz::scratch_dir() + QStringLiteral("/out.bin");
    static exfat_recovery_c engine;
    // Large enough for the clusters a small volume names; what lies past the input reads as zeros.
    auto disk = std::make_unique<fuzz::sparse_source_c>(std::max<std::uint64_t>(size, 8 << 20));
    disk->place(0, {data, size});
    engine.reset();
    engine.set_volume(volume);
    engine.set_source(std::move(disk));
    engine.set_lost_search((size & 1) != 0);
    engine.start();
    engine.wait();
    int recovered = 0;
    for (const auto& [key, record] : engine.findings()) {
        if (recovered == most_recovered)
            break;
        if (record.size <= most_recovered_bytes && !record.directory()) {
            engine.recover_file(key, out);
            QString path;
            engine.get_file_path(key, path);
            ++recovered;
        }
    }
    return 0;
}
