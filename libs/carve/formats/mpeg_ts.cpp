// MPEG transport stream: 188-byte packets, each starting with the sync byte. The first packets
// (the program tables come first) tell which packet identifiers the stream uses; the walk goes on
// while packets keep the sync byte, a sound header and one of those identifiers.

#include "libs/carve/carve_format.h"

#include <algorithm>
#include <vector>

namespace tarn {

namespace {

constexpr std::uint64_t packet = 188;
constexpr int learned = 64;
constexpr int fewest = 4;
constexpr std::uint64_t most_packets = 1ull << 26;
constexpr unsigned null_pid = 0x1FFF;

// The packet's identifier, or -1 when the packet header is not sound.
int packet_pid(carve_reader_c& in, std::uint64_t at)
{
    bool ok = true;
    const std::uint32_t header = in.be32(at, ok);
    const bool error = (header & 0x800000) != 0;
    const unsigned control = header >> 4 & 3;
    if (!ok || header >> 24 != 0x47 || error || control == 0)
        return -1;
    return static_cast<int>(header >> 8 & 0x1FFF);
}

carve_found_s measure_ts(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    std::vector<int> pids;
    std::uint64_t count = 0;
    for (std::uint64_t at = start; count < most_packets && at + packet <= start + limit; at += packet, ++count) {
        const int pid = packet_pid(in, at);
        if (pid < 0)
            break;
        const bool known = pid == static_cast<int>(null_pid) || std::find(pids.begin(), pids.end(), pid) != pids.end();
        if (!known && count >= learned)
            break;
        if (!known)
            pids.push_back(pid);
    }
    return count < fewest ? 0 : count * packet;
}

} // namespace

// A first packet that starts a program association or service description table.
const carve_format_s carve_ts{"ts", {std::string_view("\x47\x40\x00", 3), std::string_view("\x47\x40\x11", 3)}, 16ull << 30, measure_ts};

} // namespace tarn
