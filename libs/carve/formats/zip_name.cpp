// What a ZIP holds, told by its members: Office Open XML documents have "[Content_Types].xml" and
// a folder per application; OpenDocument files keep their media type in a stored "mimetype"
// member; Android packages have their manifest at the top; Java archives have META-INF's.

#include "libs/carve/formats/zip_directory.h"

#include <array>
#include <string_view>

namespace tarn {

namespace {

struct members_s {
    bool content_types = false;
    bool word = false;
    bool sheet = false;
    bool slides = false;
    bool java = false;
    bool android = false;
    std::uint64_t mimetype = 0; // its directory record, 0 when none
};

void note_member(std::string_view name, std::uint64_t record, members_s& m)
{
    m.content_types |= name == "[Content_Types].xml";
    m.word |= name.starts_with("word/");
    m.sheet |= name.starts_with("xl/");
    m.slides |= name.starts_with("ppt/");
    m.java |= name == "META-INF/MANIFEST.MF";
    m.android |= name == "AndroidManifest.xml";
    if (name == "mimetype")
        m.mimetype = record;
}

// The OpenDocument extension named by the stored "mimetype" member, none when it is no such type.
const char* opendocument(carve_reader_c& in, std::uint64_t start, std::uint64_t size, std::uint64_t record)
{
    bool ok = true;
    const unsigned method = in.le16(record + 10, ok);
    const std::uint32_t length = in.le32(record + 20, ok);
    const std::uint32_t local = in.le32(record + 42, ok);
    std::array<char, 64> text{};
    if (!ok || method != 0 || length > text.size() || local >= size)
        return nullptr;
    const std::uint64_t header = start + local;
    const std::uint64_t data = header + 30 + in.le16(header + 26, ok) + in.le16(header + 28, ok);
    if (!ok || in.le32(header, ok) != 0x04034B50 || data + length > start + size
        || !in.read(data, std::as_writable_bytes(std::span<char>(text.data(), length))))
        return nullptr;
    const std::string_view type(text.data(), length);
    constexpr std::string_view prefix = "application/vnd.oasis.opendocument.";
    if (!type.starts_with(prefix))
        return nullptr;
    const std::string_view kind = type.substr(prefix.size());
    return kind == "text" ? "odt" : kind == "spreadsheet" ? "ods" : kind == "presentation" ? "odp" : nullptr;
}

} // namespace

const char* name_zip(carve_reader_c& in, std::uint64_t start, std::uint64_t size)
{
    zip_directory_s dir;
    if (!zip_directory(in, start, size, dir))
        return nullptr;
    members_s members;
    // Every name looked for is shorter than this, so a longer name is read only in part.
    std::array<char, 32> name{};
    zip_each_entry(in, dir, [&](std::uint64_t record, unsigned name_length) {
        const std::size_t length = std::min<std::size_t>(name.size(), name_length);
        if (in.read(record + zip_central_bytes, std::as_writable_bytes(std::span<char>(name.data(), length))))
            note_member(std::string_view(name.data(), length), record, members);
    });
    if (members.content_types && (members.word || members.sheet || members.slides))
        return members.word ? "docx" : members.sheet ? "xlsx" : "pptx";
    if (members.mimetype != 0)
        if (const char* kind = opendocument(in, start, size, members.mimetype))
            return kind;
    if (members.android)
        return "apk";
    return members.java ? "jar" : nullptr;
}

} // namespace tarn
