// MP3: an optional ID3v2 tag, then MPEG audio layer III frames, each one's length computed from
// its header's bit rate, sample rate and padding. A run of several frames that agree on version
// and sample rate is required (two sync bytes alone are common in other data); the file ends after
// the last frame, with a 128-byte ID3v1 tag when one follows.

#include "libs/carve/carve_format.h"

#include <array>

namespace tarn {

namespace {

constexpr int frames_required = 6;
constexpr int most_frames = 1 << 24;
constexpr std::uint64_t id3v1_bytes = 128;

struct frame_s {
    unsigned version = 0; // 0 MPEG 2.5, 2 MPEG 2, 3 MPEG 1
    unsigned rate = 0;    // sample rate index
    std::uint32_t length = 0;
};

// The frame whose four header bytes are header; false when they are no layer III frame header.
bool parse_frame(std::uint32_t header, frame_s& frame)
{
    static constexpr std::array<std::uint32_t, 15> mpeg1_kbps{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static constexpr std::array<std::uint32_t, 15> mpeg2_kbps{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static constexpr std::array<std::uint32_t, 3> mpeg1_rates{44100, 48000, 32000};
    const unsigned version = header >> 19 & 3;
    const unsigned layer = header >> 17 & 3;
    const unsigned bitrate = header >> 12 & 15;
    const unsigned rate = header >> 10 & 3;
    const unsigned padding = header >> 9 & 1;
    const unsigned emphasis = header & 3;
    if ((header >> 21) != 0x7FF || version == 1 || layer != 1 || bitrate == 0 || bitrate == 15 || rate == 3
        || emphasis == 2)
        return false;
    const std::uint32_t kbps = version == 3 ? mpeg1_kbps[bitrate] : mpeg2_kbps[bitrate];
    const std::uint32_t hertz = mpeg1_rates[rate] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    frame.version = version;
    frame.rate = rate;
    frame.length = (version == 3 ? 144 : 72) * kbps * 1000 / hertz + padding;
    return true;
}

// The length of the ID3v2 tag at at (header, body and footer), 0 when there is none.
std::uint64_t id3v2_length(carve_reader_c& in, std::uint64_t at)
{
    std::array<std::uint8_t, 10> head{};
    if (!in.read(at, std::as_writable_bytes(std::span<std::uint8_t>(head))) || head[0] != 'I' || head[1] != 'D'
        || head[2] != '3' || head[3] < 2 || head[3] > 4 || head[4] == 0xFF)
        return 0;
    std::uint64_t body = 0;
    for (int i = 6; i < 10; ++i) {
        if (head[i] >= 0x80) // the size is stored seven bits a byte
            return 0;
        body = body << 7 | head[i];
    }
    const bool footer = head[3] == 4 && (head[5] & 0x10) != 0;
    return 10 + body + (footer ? 10 : 0);
}

carve_found_s measure_mp3(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const std::uint64_t stop = start + limit;
    std::uint64_t at = start;
    if (in.byte_at(start) == 'I') {
        const std::uint64_t tag = id3v2_length(in, start);
        if (tag == 0)
            return 0;
        at += tag;
    }
    frame_s first;
    int frames = 0;
    for (frame_s frame; frames < most_frames; ++frames) {
        bool ok = true;
        const std::uint32_t header = in.be32(at, ok);
        if (!ok || !parse_frame(header, frame) || at + frame.length > stop)
            break;
        if (frames == 0)
            first = frame;
        else if (frame.version != first.version || frame.rate != first.rate)
            break;
        at += frame.length;
    }
    if (frames < frames_required)
        return 0;
    if (at + id3v1_bytes <= stop && in.byte_at(at) == 'T' && in.byte_at(at + 1) == 'A' && in.byte_at(at + 2) == 'G')
        at += id3v1_bytes;
    return at - start;
}

} // namespace

// Frame sync with MPEG 1, 2 and 2.5 layer III, with and without a CRC, and the ID3v2 tag.
const carve_format_s carve_mp3{"mp3",
                               {"ID3", std::string_view("\xFF\xFB", 2), std::string_view("\xFF\xFA", 2),
                                std::string_view("\xFF\xF3", 2), std::string_view("\xFF\xF2", 2),
                                std::string_view("\xFF\xE3", 2), std::string_view("\xFF\xE2", 2)},
                               256ull << 20,
                               measure_mp3};

} // namespace tarn
