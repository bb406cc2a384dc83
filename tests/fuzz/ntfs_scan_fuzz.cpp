// The NTFS library over a volume made of the input: its free space counted from the cluster
// bitmap, every file record the scan delivers, and a bounded number of them written out to a
// scratch file. A cropped image stands for its whole volume: what lies past the input reads as
// zeros.

#include "libs/ntfs_scan/ntfs_scan.h"
#include "libs/ntfs_scan/ntfs_scan_source.h"
#include "tests/fuzz/fuzz_support.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <memory>

using namespace tarn;

namespace {

constexpr int most_records = 4096;
constexpr int most_recovered = 32;
constexpr std::uint64_t volume_bytes = 16 << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QByteArray out = QFile::encodeName(fuzz::scratch_dir() + QStringLiteral("/out.bin"));
    const auto make_disk = [&] {
        auto disk = std::make_unique<fuzz::sparse_source_c>(std::max<std::uint64_t>(size, volume_bytes));
        disk->place(0, {data, size});
        return disk;
    };
    std::uint64_t free_bytes = 0;
    ntfs_count_free(make_disk(), free_bytes);
    auto disk = make_disk();
    alignas(8) std::array<std::byte, NTFS_SCAN_CONTEXT_BYTES> context{};
    if (ntfs_scan_startup_source(std::move(disk), context.data()) != 0)
        return 0;
    alignas(8) std::array<std::byte, NTFS_SCAN_RECORD_BYTES> record{};
    for (int delivered = 0; delivered < most_records && ntfs_scan_next(context.data(), record.data()) == 1; ++delivered) {
        const std::uint64_t number = load_le64(record, 0);
        if (delivered < most_recovered)
            ntfs_scan_recover(context.data(), static_cast<std::uint32_t>(number), static_cast<std::uint32_t>(number >> 32),
                              out.constData(), nullptr);
        record.fill(std::byte{0});
    }
    ntfs_scan_cleanup(context.data());
    return 0;
}
