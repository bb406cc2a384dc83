#include "recovery/scanner_choice.h"

#include "recovery/scanner_kind.h"

namespace tarn {

int choose_scanner_kind(const volume_item_s& volume, bool deep)
{
    if (deep)
        return scanner_raw;
    if (volume.fs_name == QLatin1String("NTFS"))
        return scanner_ntfs;
    // "FAT12", "FAT16", "FAT32": exact case, as the volume list writes them.
    if (volume.fs_name.startsWith(QLatin1String("FAT"), Qt::CaseSensitive))
        return scanner_fat;
    return -1;
}

bool scanner_available(int kind)
{
    // The NTFS and signature engines are not built yet.
    return kind == scanner_fat;
}

} // namespace tarn
