#include "common/format_size.h"

namespace tarn {

QString format_size(std::uint64_t bytes)
{
    constexpr std::uint64_t kib = 1024, mib = kib * 1024, gib = mib * 1024;
    const double value = static_cast<double>(bytes);
    if (bytes > gib)
        return QString::asprintf("%.2fG", value / static_cast<double>(gib));
    if (bytes > mib)
        return QString::asprintf("%.2fM", value / static_cast<double>(mib));
    if (bytes > kib)
        return QString::asprintf("%.2fK", value / static_cast<double>(kib));
    return QString::asprintf("%dB", static_cast<int>(bytes));
}

} // namespace tarn
