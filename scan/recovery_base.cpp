#include "scan/recovery_base.h"

#include "scan/recovery_control.h"

namespace tarn {

std::int32_t recovery_base_c::get_stop()
{
    return stop_idle;
}

std::int32_t recovery_base_c::get_file_path(std::uint64_t, QString&)
{
    return 0;
}

std::int64_t recovery_base_c::get_found_count()
{
    return 0;
}

scan_failure_e recovery_base_c::get_failure() const
{
    return scan_failure_e::none;
}

void recovery_base_c::set_lost_search(bool) {}

QString scan_failure_text(scan_failure_e failure)
{
    switch (failure) {
    case scan_failure_e::none: return {};
    case scan_failure_e::volume_missing: return QStringLiteral("the volume could not be found or opened");
    case scan_failure_e::unreadable: return QStringLiteral("the volume could not be read");
    case scan_failure_e::no_file_system:
        return QStringLiteral("no file system this scan reads was found at the volume's start "
                              "(a damaged boot sector, or sectors other than 512 bytes)");
    case scan_failure_e::damaged: return QStringLiteral("the file system is damaged: its root folder lies outside it");
    case scan_failure_e::unsupported:
        return QStringLiteral("its cluster size is not supported: NTFS clusters larger than 64 KiB are not read "
                              "(the deep scan still reads the volume)");
    }
    return {};
}

} // namespace tarn
