#pragma once
// What an exFAT volume's root folder names besides its files: the allocation bitmap, the up-case
// table and the volume label. Any of them may be missing or damaged; the engine goes on without
// it (no bitmap: every cluster counts as free; no sound up-case table: the stand-in mapping).

#include "scan/exfat_bitmap.h"
#include "scan/exfat_upcase.h"
#include "scan/exfat_volume.h"

#include <QString>

#include <memory>
#include <span>

namespace tarn {

struct exfat_metadata_s {
    exfat_bitmap_c bitmap;
    std::unique_ptr<exfat_upcase_c> upcase = std::make_unique<exfat_upcase_c>();
    QString label;
};

// Reads them from the entries of the root folder (its bytes as read).
void read_exfat_metadata(exfat_volume_c& volume, std::span<const std::byte> root, exfat_metadata_s& out);

// The bytes of a system file of length bytes from first: along its FAT chain, or, where that is
// gone, from the clusters that follow first. False when fewer could be read.
bool read_exfat_system_file(exfat_volume_c& volume, std::uint32_t first, std::uint64_t length, std::vector<std::byte>& out);

} // namespace tarn
