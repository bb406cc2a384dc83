#include "partition/partition_types.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>

namespace tarn {

namespace {

struct partition_type_s {
    guid_s gpt;
    std::string_view name; // as the command line shows it
    std::string_view key;  // of the language text the window shows
    std::initializer_list<std::string_view> file_systems;
    std::initializer_list<std::uint8_t> mbr_codes;
};

// FAT, exFAT and NTFS volumes share one GPT type, as the systems that read them expect; the
// ext family has the Linux one.
const partition_type_s partition_types[] = {
    {guid_from_text("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"), "basic data", "partition_gpt_basic_data",
     {"NTFS", "exFAT", "FAT12", "FAT16", "FAT32"},
     {0x01, 0x04, 0x06, 0x07, 0x0B, 0x0C, 0x0E}},
    {guid_from_text("0FC63DAF-8483-4772-8E79-3D69D8477DE4"), "Linux file system", "partition_gpt_linux_data",
     {"ext2", "ext3", "ext4"}, {0x83}},
    {guid_from_text("0657FD6D-A4AB-43C4-84E5-0933C84B4F4F"), "Linux swap", "partition_gpt_linux_swap", {}, {0x82}},
    {guid_from_text("C12A7328-F81F-11D2-BA4B-00A0C93EC93B"), "EFI system", "partition_gpt_efi_system", {}, {0xEF}},
};

const partition_type_s* known_type(const guid_s& type)
{
    const auto found = std::ranges::find(partition_types, type, &partition_type_s::gpt);
    return found == std::end(partition_types) ? nullptr : found;
}

} // namespace

std::optional<guid_s> gpt_type_for_fs(const QString& fs_name)
{
    const QByteArray bytes = fs_name.toUtf8();
    const std::string_view name(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    for (const auto& type : partition_types)
        if (std::ranges::find(type.file_systems, name) != type.file_systems.end())
            return type.gpt;
    return std::nullopt;
}

std::optional<guid_s> gpt_type_for_mbr(std::uint8_t code)
{
    for (const auto& type : partition_types)
        if (std::ranges::find(type.mbr_codes, code) != type.mbr_codes.end())
            return type.gpt;
    return std::nullopt;
}

QString gpt_type_name(const guid_s& type)
{
    const partition_type_s* known = known_type(type);
    if (!known)
        return guid_text(type);
    return QString::fromLatin1(known->name.data(), static_cast<qsizetype>(known->name.size()));
}

std::string_view gpt_type_key(const guid_s& type)
{
    const partition_type_s* known = known_type(type);
    return known ? known->key : std::string_view();
}

} // namespace tarn
