#include "partition/master_boot_record.h"

namespace tarn {

namespace {

// Assembled from boot_code.asm at build time.
constexpr unsigned char assembled[] = {
#include "boot_code.inc"
};
static_assert(sizeof(assembled) == boot_code_bytes, "the boot code must fill exactly 440 bytes");

} // namespace

std::span<const std::byte, boot_code_bytes> boot_code()
{
    return std::span<const std::byte, boot_code_bytes>(reinterpret_cast<const std::byte*>(assembled), boot_code_bytes);
}

} // namespace tarn
