// The deep scan's scan file, read back from a file holding the input.

#include "scan/raw_scan_file.h"
#include "tests/fuzz/fuzz_support.h"

#include <vector>

using namespace tarn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = fuzz::scratch_file(QStringLiteral("scan.bin"), {data, size});
    std::vector<raw_hit_s> hits;
    const QString volume = load_scan_file(path, hits);
    scan_file_names_volume(volume, QStringLiteral("/fuzz/disk.img#1"));
    return 0;
}
