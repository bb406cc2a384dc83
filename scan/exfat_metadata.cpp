#include "scan/exfat_metadata.h"

#include "scan/exfat_entry_set.h"

namespace tarn {

namespace {

// Larger than any up-case table (the full one takes 128 KiB uncompressed): more is damage.
constexpr std::uint64_t upcase_max_bytes = 256 << 10;
constexpr std::size_t label_max_chars = 11;

std::uint8_t byte_at(std::span<const std::byte> b, std::size_t at)
{
    return std::to_integer<std::uint8_t>(b[at]);
}

void read_bitmap(exfat_volume_c& volume, std::span<const std::byte> e, exfat_metadata_s& out)
{
    const exfat_layout_s& layout = volume.layout();
    // With two FATs there are two bitmaps; bit 0 of the flags tells which this is.
    if ((byte_at(e, 1) & 1) != layout.active_fat || out.bitmap.known())
        return;
    const std::uint64_t needed = (std::uint64_t{layout.cluster_count} + 7) / 8;
    if (load_le64(e, 24) < needed)
        return;
    std::vector<std::byte> bytes;
    if (read_exfat_system_file(volume, load_le32(e, 20), needed, bytes))
        out.bitmap.assign(std::move(bytes), layout.cluster_count);
}

void read_upcase(exfat_volume_c& volume, std::span<const std::byte> e, exfat_metadata_s& out)
{
    const std::uint64_t length = load_le64(e, 24);
    std::vector<std::byte> bytes;
    if (length <= upcase_max_bytes && read_exfat_system_file(volume, load_le32(e, 20), length, bytes))
        out.upcase->assign(bytes, load_le32(e, 4));
}

void read_label(std::span<const std::byte> e, exfat_metadata_s& out)
{
    const std::size_t count = std::min<std::size_t>(byte_at(e, 1), label_max_chars);
    out.label.clear();
    for (std::size_t i = 0; i < count; ++i)
        out.label += QChar(load_le16(e, 2 + 2 * i));
}

} // namespace

bool read_exfat_system_file(exfat_volume_c& volume, std::uint32_t first, std::uint64_t length, std::vector<std::byte>& out)
{
    const exfat_layout_s& layout = volume.layout();
    const std::uint64_t clusters = (length + layout.cluster_bytes() - 1) >> layout.cluster_shift;
    for (exfat_layout_e how : {exfat_layout_e::chain, exfat_layout_e::contiguous}) {
        exfat_cut_e cut = exfat_cut_e::none;
        const std::vector<exfat_run_s> runs = volume.runs(first, clusters, how, cut);
        std::uint64_t got = 0;
        for (const exfat_run_s& run : runs)
            got += std::uint64_t{run.count} << layout.cluster_shift;
        if (got < length)
            continue;
        out.clear();
        return volume.read_runs(runs, length, out);
    }
    return false;
}

void read_exfat_metadata(exfat_volume_c& volume, std::span<const std::byte> root, exfat_metadata_s& out)
{
    for (std::size_t at = 0; at + exfat_entry_bytes <= root.size(); at += exfat_entry_bytes) {
        const std::span<const std::byte> e = root.subspan(at, exfat_entry_bytes);
        switch (byte_at(e, 0)) {
        case exfat_entry_end: return;
        case exfat_entry_bitmap: read_bitmap(volume, e, out); break;
        case exfat_entry_upcase:
            if (!out.upcase->from_volume())
                read_upcase(volume, e, out);
            break;
        case exfat_entry_label: read_label(e, out); break;
        default: break;
        }
    }
}

} // namespace tarn
