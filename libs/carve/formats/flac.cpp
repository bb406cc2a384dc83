// FLAC: the metadata blocks (STREAMINFO first, with the total sample count), then the frames.
// A frame's header carries its own CRC-8 and the frame ends with a CRC-16 over all of it; the next
// frame is where a sound header follows bytes whose CRC-16 comes to zero. The last frame, with
// nothing after it to tell its end, is parsed through its subframes to its exact end. The walk
// must count exactly the stream's samples.

#include "libs/carve/carve_format.h"

#include <algorithm>
#include <array>
#include <bit>

namespace tarn {

namespace {

constexpr int most_blocks = 1 << 10;
constexpr int most_frames = 1 << 24;
constexpr std::uint64_t largest_frame = 16u << 20;

struct stream_info_s {
    std::uint32_t max_frame = 0;
    unsigned bits = 0;
    std::uint64_t samples = 0;
};

struct frame_s {
    unsigned block = 0;    // samples per channel
    unsigned channels = 0; // channel assignment as coded
    unsigned bits = 0;
    unsigned length = 0;   // header bytes, its CRC-8 included
};

std::uint8_t crc8(const std::uint8_t* p, std::size_t n)
{
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = static_cast<std::uint8_t>((crc & 0x80) != 0 ? crc << 1 ^ 0x07 : crc << 1);
    }
    return crc;
}

std::uint16_t crc16_step(std::uint16_t crc, std::uint8_t byte)
{
    static const std::array<std::uint16_t, 256> table = [] {
        std::array<std::uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned r = i << 8;
            for (int k = 0; k < 8; ++k)
                r = (r & 0x8000) != 0 ? r << 1 ^ 0x8005 : r << 1;
            t[i] = static_cast<std::uint16_t>(r);
        }
        return t;
    }();
    return static_cast<std::uint16_t>(crc << 8 ^ table[(crc >> 8 ^ byte) & 0xFF]);
}

// The frame header at at; false when it is none (its CRC-8 included).
bool frame_header(carve_reader_c& in, std::uint64_t at, const stream_info_s& info, frame_s& f)
{
    std::array<std::uint8_t, 16> h{};
    if (!in.read(at, std::as_writable_bytes(std::span<std::uint8_t>(h))) || h[0] != 0xFF || (h[1] & 0xFE) != 0xF8)
        return false;
    const unsigned block_code = h[2] >> 4, rate_code = h[2] & 15, size_code = h[3] >> 1 & 7;
    f.channels = h[3] >> 4;
    if (block_code == 0 || rate_code == 15 || f.channels > 10 || size_code == 3 || size_code == 7 || (h[3] & 1) != 0)
        return false;
    unsigned i = 5;
    for (unsigned extra = static_cast<unsigned>(std::countl_one(h[4])); extra > 1 && i < 11; --extra, ++i)
        if ((h[i] & 0xC0) != 0x80)
            return false;
    if (h[4] == 0xFF || (h[4] & 0xC0) == 0x80)
        return false;
    static constexpr std::array<unsigned, 16> fixed{0, 192, 576, 1152, 2304, 4608, 0, 0, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768};
    f.block = fixed[block_code];
    if (block_code == 6)
        f.block = h[i++] + 1u;
    else if (block_code == 7) {
        f.block = (h[i] << 8 | h[i + 1]) + 1u;
        i += 2;
    }
    i += rate_code == 12 ? 1 : rate_code == 13 || rate_code == 14 ? 2 : 0;
    static constexpr std::array<unsigned, 8> sizes{0, 8, 12, 0, 16, 20, 24, 0};
    f.bits = size_code == 0 ? info.bits : sizes[size_code];
    f.length = i + 1;
    return f.bits != 0 && crc8(h.data(), i) == h[i];
}

// Bits from a byte offset on, high bit first.
class bits_c {
public:
    bits_c(carve_reader_c& in, std::uint64_t byte) : in_(in), bit_(byte * 8) {}
    std::uint64_t bit() const { return bit_; }
    bool ok() const { return ok_; }
    std::uint32_t take(unsigned n)
    {
        std::uint32_t v = 0;
        for (unsigned k = 0; k < n; ++k, ++bit_) {
            const int b = in_.byte_at(bit_ / 8);
            ok_ &= b >= 0;
            v = v << 1 | static_cast<std::uint32_t>(b >> (7 - bit_ % 8) & 1);
        }
        return v;
    }
    void skip(std::uint64_t n) { bit_ += n; }
    // Zeros up to the next one (a unary count), at most most.
    unsigned zeros(unsigned most)
    {
        unsigned n = 0;
        while (ok_ && n <= most && take(1) == 0)
            ++n;
        return n;
    }

private:
    carve_reader_c& in_;
    std::uint64_t bit_;
    bool ok_ = true;
};

bool residual(bits_c& b, unsigned block, unsigned order)
{
    const unsigned method = b.take(2);
    if (method > 1)
        return false;
    const unsigned width = method == 0 ? 4 : 5, escape = method == 0 ? 15 : 31, partition_order = b.take(4);
    const unsigned per = block >> partition_order;
    if (per << partition_order != block || per < order)
        return false;
    for (unsigned p = 0; p < (1u << partition_order) && b.ok(); ++p) {
        const unsigned samples = p == 0 ? per - order : per;
        const unsigned parameter = b.take(width);
        if (parameter == escape) {
            b.skip(std::uint64_t{b.take(5)} * samples);
            continue;
        }
        for (unsigned s = 0; s < samples && b.ok(); ++s) {
            if (b.zeros(1u << 16) > (1u << 16))
                return false;
            b.skip(parameter);
        }
    }
    return b.ok();
}

bool subframe(bits_c& b, unsigned block, unsigned bits)
{
    if (b.take(1) != 0)
        return false;
    const unsigned type = b.take(6);
    if (b.take(1) != 0)
        bits -= std::min(bits, b.zeros(32) + 1); // wasted low bits
    if (type == 0)
        b.skip(bits);
    else if (type == 1)
        b.skip(std::uint64_t{bits} * block);
    else if (type >= 8 && type <= 12) {
        b.skip(std::uint64_t{bits} * (type - 8));
        return residual(b, block, type - 8);
    } else if (type >= 32) {
        const unsigned order = type - 31;
        b.skip(std::uint64_t{bits} * order);
        const unsigned precision = b.take(4) + 1;
        if (precision == 16)
            return false;
        b.skip(5 + std::uint64_t{precision} * order);
        return residual(b, block, order);
    } else {
        return false;
    }
    return b.ok();
}

// The exact end of the frame at at, parsed through its subframes; 0 when it does not parse or its
// CRC-16 fails.
std::uint64_t parsed_end(carve_reader_c& in, std::uint64_t at, const frame_s& f, std::uint64_t stop)
{
    bits_c b(in, at + f.length);
    const unsigned channels = f.channels < 8 ? f.channels + 1 : 2;
    for (unsigned c = 0; c < channels; ++c) {
        // The side channel of a stereo pair carries one bit more.
        const bool side = (f.channels == 8 && c == 1) || (f.channels == 9 && c == 0) || (f.channels == 10 && c == 1);
        if (!subframe(b, f.block, f.bits + (side ? 1 : 0)))
            return 0;
    }
    const std::uint64_t end = (b.bit() + 7) / 8 + 2;
    if (end > stop)
        return 0;
    std::uint16_t crc = 0;
    for (std::uint64_t p = at; p < end; ++p)
        crc = crc16_step(crc, static_cast<std::uint8_t>(in.byte_at(p)));
    return crc == 0 ? end : 0;
}

// The next frame after the one at at: the first sound header where the CRC-16 of the bytes before
// comes to zero; 0 when there is none within look.
std::uint64_t next_frame(carve_reader_c& in, std::uint64_t at, const frame_s& f, const stream_info_s& info,
                         std::uint64_t stop, frame_s& next)
{
    std::array<std::uint8_t, 1 << 14> chunk; // filled by each read
    std::uint16_t crc = 0;
    const std::uint64_t until = std::min(stop, at + (info.max_frame != 0 ? info.max_frame + std::uint64_t{16} : largest_frame));
    for (std::uint64_t p = at; p < until;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), until - p));
        if (!in.read(p, std::as_writable_bytes(std::span<std::uint8_t>(chunk.data(), want))))
            return 0;
        for (std::size_t i = 0; i < want; ++i) {
            const std::uint64_t here = p + i;
            if (crc == 0 && chunk[i] == 0xFF && here >= at + f.length + 2 && frame_header(in, here, info, next))
                return here;
            crc = crc16_step(crc, chunk[i]);
        }
        p += want;
    }
    return 0;
}

bool stream_info(carve_reader_c& in, std::uint64_t start, std::uint64_t stop, stream_info_s& info, std::uint64_t& frames)
{
    std::uint64_t at = start + 4;
    for (int blocks = 0; blocks < most_blocks; ++blocks) {
        bool ok = true;
        const std::uint32_t header = in.be32(at, ok);
        const unsigned type = header >> 24 & 0x7F;
        const std::uint32_t length = header & 0xFFFFFF;
        if (!ok || (blocks == 0 && (type != 0 || length != 34)) || (blocks > 0 && (type == 0 || type > 6)))
            return false;
        if (blocks == 0) {
            info.max_frame = in.be32(at + 10, ok) & 0xFFFFFF;
            const std::uint64_t packed = in.be64(at + 14, ok); // rate 20, channels 3, bits 5, samples 36
            info.bits = static_cast<unsigned>(packed >> 36 & 31) + 1;
            info.samples = packed & 0xFFFFFFFFFull;
        }
        at += 4 + std::uint64_t{length};
        if (!ok || at > stop)
            return false;
        if ((header & 0x80000000u) != 0) {
            frames = at;
            return info.samples != 0;
        }
    }
    return false;
}

carve_found_s measure_flac(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const std::uint64_t stop = start + limit;
    stream_info_s info;
    std::uint64_t at = 0;
    frame_s f;
    if (!stream_info(in, start, stop, info, at) || !frame_header(in, at, info, f))
        return 0;
    std::uint64_t counted = 0;
    for (int frames = 0; frames < most_frames; ++frames) {
        counted += f.block;
        if (counted >= info.samples) {
            const std::uint64_t end = counted == info.samples ? parsed_end(in, at, f, stop) : 0;
            return end == 0 ? 0 : end - start;
        }
        frame_s next;
        const std::uint64_t found = next_frame(in, at, f, info, stop, next);
        if (found == 0)
            return 0;
        at = found;
        f = next;
    }
    return 0;
}

} // namespace

const carve_format_s carve_flac{"flac", {std::string_view("fLaC\0", 5), std::string_view("fLaC\x80", 5)}, 2ull << 30, measure_flac};

} // namespace tarn
