// The deep scan's type list, read from a configuration file holding the input.

#include "libs/carve/carve_config.h"
#include "tests/fuzz/fuzz_support.h"

using namespace tarn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    load_carve_config(fuzz::scratch_file(QStringLiteral("Tarnrecovery.conf"), {data, size}));
    return 0;
}
