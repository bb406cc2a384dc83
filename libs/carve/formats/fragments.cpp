#include "libs/carve/formats/fragments.h"

#include "libs/carve/carve_config.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace tarn {

std::vector<std::uint64_t> resume_places(std::uint64_t end, std::uint64_t stop)
{
    constexpr std::uint64_t slack = 64 << 10;
    std::vector<std::uint64_t> places;
    if (end < stop)
        places.push_back(end);
    for (std::uint64_t at = (end / carve_sector + 1) * carve_sector; at < stop && at <= end + slack; at += carve_sector)
        places.push_back(at);
    std::stable_sort(places.begin(), places.end(),
                     [](std::uint64_t a, std::uint64_t b) { return std::countr_zero(a) > std::countr_zero(b); });
    return places;
}

bool split_layout_s::read(carve_reader_c& in, std::uint64_t at, std::span<std::byte> out) const
{
    if (at >= split || at + out.size() <= split)
        return in.read(place(at), out);
    const auto first = static_cast<std::size_t>(split - at);
    return in.read(at, out.first(first)) && in.read(resume, out.subspan(first));
}

bool split_layout_s::crc32(carve_reader_c& in, std::uint64_t at, std::uint64_t length, std::uint32_t& crc) const
{
    if (at >= split || at + length <= split)
        return in.crc32(place(at), length, crc);
    return in.crc32(at, split - at, crc) && in.crc32(resume, at + length - split, crc);
}

namespace {

// The enabled types' patterns, by how far into a file they sit, with a table of their first bytes:
// most sectors are passed after a byte or two.
class pattern_set_c {
public:
    explicit pattern_set_c(const std::vector<carve_type_s>& types)
    {
        for (const carve_type_s& type : types)
            if (type.enabled)
                for (const std::string_view header : type.format->headers)
                    if (!header.empty() && header.size() <= longest)
                        add(type, header);
    }

    // Calls found(type) for each type whose pattern lies where it would if a file started at at.
    template <typename Found>
    void each_at(carve_reader_c& in, std::uint64_t at, Found found) const
    {
        std::array<char, 16> bytes{};
        for (const group_s& group : groups_) {
            const int first = in.byte_at(at + group.offset);
            if (first < 0 || !group.firsts[static_cast<std::size_t>(first)])
                continue;
            for (const auto& [type, header] : group.patterns)
                if (static_cast<std::uint8_t>(header[0]) == first
                    && in.read(at + group.offset, std::as_writable_bytes(std::span<char>(bytes.data(), header.size())))
                    && std::memcmp(bytes.data(), header.data(), header.size()) == 0 && found(*type))
                    return;
        }
    }

private:
    static constexpr std::size_t longest = 16; // as the scan's own pattern search takes them

    struct group_s {
        std::uint32_t offset = 0;
        std::array<bool, 256> firsts{};
        std::vector<std::pair<const carve_type_s*, std::string_view>> patterns;
    };

    void add(const carve_type_s& type, std::string_view header)
    {
        auto group = std::find_if(groups_.begin(), groups_.end(),
                                  [&](const group_s& g) { return g.offset == type.format->header_at; });
        if (group == groups_.end())
            group = groups_.insert(groups_.end(), group_s{type.format->header_at, {}, {}});
        group->firsts[static_cast<std::uint8_t>(header[0])] = true;
        group->patterns.emplace_back(&type, header);
    }

    std::vector<group_s> groups_;
};

} // namespace

namespace {

// Calls whole(at, found) at each offset next gives (0 ends), with the patterns of the scan's types;
// the first whole file found. Nothing outside a scan, or within the measure of such a file.
template <typename Next>
bool first_whole_file(carve_reader_c& in, std::uint64_t stop, Next next, foreign_s& found)
{
    if (in.types() == nullptr || in.nested != 0)
        return false;
    const pattern_set_c patterns(*in.types());
    ++in.nested;
    bool any = false;
    for (std::uint64_t at = next(); at != 0 && at < stop && !any; at = next())
        patterns.each_at(in, at, [&](const carve_type_s& type) {
            const carve_found_s file = type.format->measure(in, at, std::min(type.largest, stop - at));
            any = file.size != 0 && !file.partial && file.tail_size == 0;
            if (any)
                found = {at, at + file.size};
            return any;
        });
    --in.nested;
    return any;
}

} // namespace

bool foreign_file(carve_reader_c& in, std::uint64_t from, std::uint64_t to, std::uint64_t stop, foreign_s& found)
{
    std::uint64_t at = from / carve_sector * carve_sector;
    return first_whole_file(in, stop, [&] { return (at += carve_sector) < to ? at : 0; }, found);
}

bool file_opened_by(carve_reader_c& in, std::uint64_t from, std::uint64_t to, std::uint64_t stop, std::string_view openers,
                    foreign_s& found)
{
    std::array<char, 1 << 14> chunk; // filled by each read
    std::uint64_t chunk_at = from;
    std::size_t have = 0, next = 0;
    return first_whole_file(in, stop, [&]() -> std::uint64_t {
        while (true) {
            for (; next < have; ++next)
                if (openers.find(chunk[next]) != std::string_view::npos)
                    return chunk_at + next++;
            chunk_at += have;
            have = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), to > chunk_at ? to - chunk_at : 0));
            next = 0;
            if (have == 0 || !in.read(chunk_at, std::as_writable_bytes(std::span<char>(chunk.data(), have))))
                return 0;
        }
    }, found);
}

std::vector<carve_piece_s> carve_pieces(carve_reader_c& in, std::uint64_t offset, std::uint64_t size)
{
    if (in.types() == nullptr || offset >= in.size())
        return {};
    std::vector<carve_piece_s> pieces;
    pattern_set_c(*in.types()).each_at(in, offset, [&](const carve_type_s& type) {
        const carve_found_s file = type.format->measure(in, offset, std::min(type.largest, in.size() - offset));
        if (file.tail_size == 0 || file.total() != size)
            return false;
        pieces = {{offset, file.size}, {file.tail_at, file.tail_size}};
        return true;
    });
    return pieces;
}

} // namespace tarn
