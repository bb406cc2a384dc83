#pragma once
// The one table of partition types: which GPT type GUID a found file system gets, which MBR type
// codes mean the same kind of partition, and the name the confirmation shows for a type. A new
// kind of find plugs in here by its file-system name.

#include "partition/guid.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarn {

// The GPT type of a find's file system ("NTFS", "FAT32", "ext4", …); nothing for a name the
// table does not know.
std::optional<guid_s> gpt_type_for_fs(const QString& fs_name);

// The GPT type that means what an MBR type code means; nothing for codes without one.
std::optional<guid_s> gpt_type_for_mbr(std::uint8_t code);

// A type's short name as the command line shows it ("basic data", "Linux file system", …), or
// its GUID as text.
QString gpt_type_name(const guid_s& type);
// The language key of a type's name in the window; empty for a type the table does not know.
std::string_view gpt_type_key(const guid_s& type);

} // namespace tarn
