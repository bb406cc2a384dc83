// The staging of a disk image's regions for the partition and file-system probes, over a disk made
// of the input: the chain of extended boot records it follows and the file-table records it copies
// are read from the input, whatever they claim.

#include "platform/probe_staging.h"
#include "tests/fuzz/fuzz_support.h"

#include <unistd.h>

#include <algorithm>

using namespace tarn;

namespace {

constexpr std::uint64_t disk_bytes = 64 << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::sparse_source_c disk(std::max<std::uint64_t>(size, disk_bytes));
    disk.place(0, {data, size});
    for (const stage_e what : {stage_e::partition_table, stage_e::filesystem}) {
        const int fd = stage_probe_file(disk, 0, disk.size(), what);
        if (fd >= 0)
            ::close(fd);
    }
    return 0;
}
