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

// NTFS paths are at most 32,767 UTF-16 units long: a chain of folders longer than that is no real
// file's (a crafted chain of a hundred thousand folders would make every path listed as long as
// the chain). The record where a chain grows past it starts again at the top.
void cap_path_lengths(const std::vector<ntfs_lost_found_s>& found, std::vector<std::size_t>& parents)
{
    constexpr std::size_t longest_path = 32767;
    constexpr std::size_t unknown = 0;
    std::vector<std::size_t> length(parents.size(), unknown); // of the path down to each record
    std::vector<std::size_t> walk;
    for (std::size_t start = 0; start < parents.size(); ++start) {
        for (std::size_t at = start; at != ntfs_lost_top && length[at] == unknown; at = parents[at])
            walk.push_back(at);
        // Down the walk from its top-most record; loops are cut already, so it ends.
        for (auto it = walk.rbegin(); it != walk.rend(); ++it) {
            const std::size_t own = found[*it].record.name.size() + 1;
            const std::size_t above = parents[*it] == ntfs_lost_top ? 0 : length[parents[*it]];
            if (above + own > longest_path) {
                parents[*it] = ntfs_lost_top;
                length[*it] = own;
            } else {
                length[*it] = above + own;
            }
        }
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
    cap_path_lengths(found, parents);
    return parents;
}

} // namespace tarn
