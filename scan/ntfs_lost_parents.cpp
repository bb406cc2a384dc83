#include "scan/ntfs_lost_parents.h"

#include <cstdint>
#include <unordered_map>

namespace tarn {

namespace {

constexpr std::uint64_t root_record = 5;

std::uint64_t folder_key(std::uint64_t number, std::uint16_t sequence)
{
    return number << 16 | sequence;
}

// Follows each chain up once; a chain that comes back to a record of its own walk is a loop, cut
// at the record where it closes.
void cut_loops(std::vector<std::size_t>& parents)
{
    enum : std::uint8_t { unseen, walking, done };
    std::vector<std::uint8_t> state(parents.size(), unseen);
    std::vector<std::size_t> walk;
    for (std::size_t start = 0; start < parents.size(); ++start) {
        std::size_t at = start;
        while (at != ntfs_lost_top && state[at] == unseen) {
            state[at] = walking;
            walk.push_back(at);
            if (parents[at] != ntfs_lost_top && state[parents[at]] == walking) {
                parents[at] = ntfs_lost_top;
                break;
            }
            at = parents[at];
        }
        for (const std::size_t w : walk)
            state[w] = done;
        walk.clear();
    }
}

} // namespace

std::vector<std::size_t> ntfs_lost_parents(const std::vector<ntfs_lost_found_s>& found)
{
    const auto record = [&](std::size_t i) -> const ntfs_decoded_record_s& { return found[i].record; };
    // The first folder found under each number and sequence; a later copy of it (an older MFT
    // further on) adds nothing.
    std::unordered_map<std::uint64_t, std::size_t> folders;
    for (std::size_t i = 0; i < found.size(); ++i)
        if (record(i).directory && record(i).has_number)
            folders.emplace(folder_key(record(i).number, record(i).sequence), i);
    std::vector<std::size_t> parents(found.size(), ntfs_lost_top);
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (record(i).parent == root_record)
            continue;
        const auto folder = folders.find(folder_key(record(i).parent, record(i).parent_sequence));
        if (folder != folders.end() && folder->second != i)
            parents[i] = folder->second;
    }
    cut_loops(parents);
    return parents;
}

} // namespace tarn
