// The program's own reading of container headers (VMDK descriptors and their extents, QCOW2, VHD
// and VHDX sizes and flags), before any library sees the file: the input's first byte chooses the
// format, the rest is the file.

#include "platform/container_checks.h"
#include "tests/fuzz/fuzz_support.h"

#include <array>

using namespace tarn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    constexpr std::array<image_format_e, 4> formats = {image_format_e::vmdk, image_format_e::qcow, image_format_e::vhd,
                                                       image_format_e::vhdx};
    const QString path = fuzz::scratch_file(QStringLiteral("container.bin"), {data + 1, size - 1});
    container_refusal(path, formats[data[0] % formats.size()]);
    return 0;
}
