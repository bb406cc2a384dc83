// The search for file records outside the MFT over a volume made of the input, every cluster of it
// free: the record reader on each "FILE" it meets, the folder rebuild over what it keeps, and a
// bounded number of the copies, as a formatted volume's lost files would be written out. The input
// also goes to the record reader and the run-list reader directly.

#include "libs/ntfs_scan/ntfs_record_decode.h"
#include "platform/memory_source.h"
#include "scan/ntfs_cluster_map.h"
#include "scan/ntfs_lost_copy.h"
#include "scan/ntfs_lost_parents.h"
#include "scan/ntfs_lost_search.h"
#include "tests/fuzz/fuzz_support.h"

#include <QFile>

using namespace tarn;

namespace {

constexpr std::size_t most_copied = 16;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QString out_path = fuzz::scratch_dir() + QStringLiteral("/out.bin");
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
    ntfs_decoded_record_s record;
    ntfs_decode_record(bytes, record);
    std::vector<ntfs_run_s> runs;
    ntfs_decode_runs(bytes, runs);

    ntfs_layout_s layout;
    layout.cluster_bytes = 512;
    layout.clusters = size / 512 + 1;
    layout.bitmap.assign((layout.clusters + 7) / 8, 0);
    const ntfs_cluster_map_c map(std::move(layout));
    memory_source_c volume(std::vector<std::byte>(bytes.begin(), bytes.end()));
    recovery_control_s control;
    const ntfs_lost_search_s found = ntfs_lost_search_c(volume, map, control, 0.0).run();
    ntfs_lost_parents(found.records);
    // The copies read each record again from where it was found, as the engine does.
    for (std::size_t i = 0; i < found.records.size() && i < most_copied; ++i) {
        const ntfs_lost_found_s& f = found.records[i];
        ntfs_decoded_record_s again;
        ntfs_decode_record(bytes.subspan(f.at), again);
        QFile out(out_path);
        if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            copy_lost_file(volume, again.cluster_bytes != 0 ? again.cluster_bytes : 512, again, out);
    }
    return 0;
}
