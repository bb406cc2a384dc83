#include "libs/carve/formats/jpeg_decode.h"

#include <algorithm>

namespace tarn {

namespace {

constexpr std::uint64_t most_mcus = 1ull << 28;
constexpr int most_segments = 1 << 16;
constexpr std::size_t most_recorded = 1 << 18; // block groups' bits kept for one join, over its lanes

std::uint64_t ceil_div(std::uint64_t a, std::uint64_t b)
{
    return (a + b - 1) / b;
}

// A two-coefficient look-up's entry, in 16 bits: the bits it uses, the coefficient positions it
// covers, and whether it ends the block (its first code, or the second after the first).
struct pair_entry_s {
    static constexpr std::uint16_t ends = 1u << 10;
    static unsigned used(std::uint16_t e) { return e & 15u; }
    static unsigned steps(std::uint16_t e) { return e >> 4 & 63u; }
    static std::uint16_t pack(unsigned used, unsigned steps, bool ending)
    {
        return static_cast<std::uint16_t>(used | steps << 4 | (ending ? ends : 0u));
    }
};
// Value bits of more than ten are left to the careful path, which knows the sample precision.
constexpr unsigned pair_value_bits = 10;

} // namespace

int jpeg_decoder_c::raw(std::uint64_t at)
{
    if (at - window_at_ >= window_length_ || at < window_at_ || window_moves_ != in_.window_moves()) {
        // The bytes as the reader holds them, up to the split (the first piece's end) or the
        // end of what may be read.
        window_length_ = 0;
        const std::uint64_t place = layout_.place(at);
        if (place >= stop_)
            return -1;
        std::uint64_t most = std::min<std::uint64_t>(stop_ - place, 1 << 20);
        if (at < layout_.split)
            most = std::min(most, layout_.split - at);
        const auto bytes = in_.view(place, static_cast<std::size_t>(most));
        if (bytes.empty())
            return -1;
        window_ = reinterpret_cast<const std::uint8_t*>(bytes.data());
        window_moves_ = in_.window_moves();
        window_at_ = at;
        window_length_ = bytes.size();
    }
    return window_[at - window_at_];
}

// Takes bytes into the bit holder while it has room: stuffed zeros after 0xFF dropped, and
// nothing past a marker (zeros stand in, which are no data).
void jpeg_decoder_c::refill()
{
    // Most bytes are plain data already in the window: taken without the marker checks, up to
    // the first 0xFF, which the careful path below looks at.
    if (!state_.marker && state_.at >= window_at_ && state_.at - window_at_ < window_length_
        && window_moves_ == in_.window_moves()) {
        const std::uint8_t* p = window_ + (state_.at - window_at_);
        const std::uint8_t* const end = window_ + window_length_;
        // Eight bytes at once when none of them is 0xFF: as many as the holder has room for.
        if (end - p >= 8) {
            std::uint64_t word = 0;
            for (int i = 0; i < 8; ++i)
                word = word << 8 | p[i]; // one load and a byte swap, as compiled
            const std::uint64_t inverted = ~word;
            if (((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) == 0) {
                const unsigned n = (64 - state_.count) / 8;
                state_.bits |= (word >> (64 - 8 * n)) << (64 - state_.count - 8 * n);
                state_.count += 8 * n;
                state_.real += 8 * n;
                p += n;
            }
        }
        for (; state_.count <= 56 && p < end && *p != 0xFF; ++p) {
            state_.bits |= std::uint64_t{*p} << (56 - state_.count);
            state_.count += 8;
            state_.real += 8;
        }
        state_.at = window_at_ + static_cast<std::uint64_t>(p - window_);
    }
    while (state_.count <= 56) {
        int b = -1;
        if (!state_.marker) {
            b = raw(state_.at);
            if (b == 0xFF && raw(state_.at + 1) != 0)
                b = -1;
            if (b < 0)
                state_.marker = true;
            else
                state_.at += b == 0xFF ? 2 : 1;
        }
        state_.bits |= static_cast<std::uint64_t>(b < 0 ? 0 : b) << (56 - state_.count);
        state_.count += 8;
        state_.real += b < 0 ? 0 : 8;
    }
}

// Uses n bits (at most 31); taking bits that are no data fails the decoding.
void jpeg_decoder_c::skip(unsigned n)
{
    if (state_.count < n)
        refill();
    state_.failed |= n > state_.real;
    state_.bits <<= n;
    state_.count -= n;
    state_.real -= std::min(n, state_.real);
}

// The next symbol of table t, its code used; with its value bits too when with_value (a symbol's
// low four bits count them), so that most coefficients cost one look-up and one shift.
int jpeg_decoder_c::decode(const table_s& t, bool with_value)
{
    if (state_.count < 32)
        refill();
    unsigned length = 0;
    int symbol = 0;
    if (const std::uint16_t fast = t.fast[state_.bits >> (64 - fast_bits)]; fast != 0) {
        length = fast >> 8;
        symbol = fast & 0xFF;
    } else {
        const auto code16 = static_cast<std::int32_t>(state_.bits >> 48);
        for (length = fast_bits + 1; length <= 16; ++length) {
            const std::int32_t code = code16 >> (16 - length);
            if (code <= t.max_code[length]) {
                symbol = t.symbols[t.first_index[length] + static_cast<unsigned>(code - t.first_code[length])];
                break;
            }
        }
        if (length > 16) {
            state_.failed = true;
            return 0;
        }
    }
    skip(length + (with_value ? static_cast<unsigned>(symbol & 15) : 0));
    return symbol;
}

bool jpeg_decoder_c::align()
{
    skip(state_.count % 8);
    return state_.real == 0;
}

bool jpeg_decoder_c::block(const component_s& c)
{
    const unsigned largest = precision_ == 8 ? 11 : 15;
    const auto dc = static_cast<unsigned>(decode((*tables_)[c.dc], false));
    if (dc > largest)
        return false;
    skip(dc);
    if (state_.failed)
        return false;
    const table_s& ac = (*tables_)[4 + c.ac];
    // The bit holder in locals for the loop (the common case stays in registers), handed back
    // before anything else looks at it. Past a marker the holder ends in pad bits that are no
    // data; as the count only falls between refills, taking any of them shows as a count below
    // pad when the holder is handed back.
    std::uint64_t bits = state_.bits;
    unsigned count = state_.count;
    unsigned pad = state_.count - state_.real;
    const auto hand_back = [&] {
        state_.bits = bits;
        state_.count = count;
        state_.real = count >= pad ? count - pad : 0;
        state_.failed |= count < pad;
        return !state_.failed;
    };
    const auto take_back = [&] {
        bits = state_.bits;
        count = state_.count;
        pad = state_.count - state_.real;
    };
    for (unsigned k = 1; k < 64;) {
        // The common case inline: one look-up for two short codes and their value bits, else a
        // code of up to fast_bits bits and its value bits, used at once from bits the holder has
        // (it holds at least 32 after a refill, and a step uses at most 24).
        if (count < 32) {
            if (!hand_back())
                return false;
            refill();
            take_back();
        }
        // Taken whole while it stays inside the block; where it would reach the block's end, the
        // second code may begin the next block, and the codes are taken one at a time below.
        if (const std::uint16_t e = ac.pairs[bits >> (64 - pair_bits)]; e != 0 && k + pair_entry_s::steps(e) <= 63) {
            bits <<= pair_entry_s::used(e);
            count -= pair_entry_s::used(e);
            if ((e & pair_entry_s::ends) != 0)
                break;
            k += pair_entry_s::steps(e);
            continue;
        }
        unsigned rs = 0;
        if (const std::uint16_t fast = ac.fast[bits >> (64 - fast_bits)]; fast != 0) {
            rs = fast & 0xFFu;
            const unsigned used = (fast >> 8) + (rs & 15);
            bits <<= used;
            count -= used;
        } else {
            if (!hand_back())
                return false;
            rs = static_cast<unsigned>(decode(ac, true));
            take_back();
            if (state_.failed)
                return false;
        }
        const unsigned run = rs >> 4, size = rs & 15;
        if (size == 0) {
            if (run != 15)
                break; // end of block
            k += 16;
            if (k > 64) {
                hand_back();
                return false;
            }
            continue;
        }
        k += run;
        if (k > 63 || size > largest - 1) {
            hand_back();
            return false;
        }
        ++k;
    }
    hand_back();
    return !state_.failed;
}

bool jpeg_decoder_c::mcu_blocks()
{
    for (const unsigned index : scan_) {
        const component_s& c = components_[index];
        const unsigned blocks = scan_.size() == 1 ? 1 : c.h * c.v;
        for (unsigned b = 0; b < blocks; ++b)
            if (!block(c))
                return false;
    }
    return true;
}

bool jpeg_decoder_c::frame(std::uint64_t at, unsigned length)
{
    precision_ = static_cast<unsigned>(raw(at));
    height_ = static_cast<unsigned>(raw(at + 1) << 8 | raw(at + 2));
    width_ = static_cast<unsigned>(raw(at + 3) << 8 | raw(at + 4));
    const int count = raw(at + 5);
    if ((precision_ != 8 && precision_ != 12) || height_ == 0 || width_ == 0 || count < 1 || count > 4
        || length != 8 + 3u * static_cast<unsigned>(count) || !components_.empty())
        return false;
    for (int i = 0; i < count; ++i) {
        const int sampling = raw(at + 7 + 3ull * i);
        component_s c{static_cast<unsigned>(raw(at + 6 + 3ull * i)), static_cast<unsigned>(sampling >> 4),
                      static_cast<unsigned>(sampling & 15)};
        if (sampling < 0 || c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4)
            return false;
        h_max_ = std::max(h_max_, c.h);
        v_max_ = std::max(v_max_, c.v);
        components_.push_back(c);
    }
    return true;
}

// Every code of up to fast_bits bits, under each value its first bits can take.
void jpeg_decoder_c::fill_fast(table_s& t)
{
    for (unsigned l = 1; l <= fast_bits; ++l)
        for (unsigned i = 0; i < t.counts[l]; ++i) {
            const unsigned value = static_cast<unsigned>(t.first_code[l]) + i;
            const unsigned spread = fast_bits - l;
            for (unsigned tail = 0; tail < (1u << spread); ++tail)
                t.fast[(value << spread) | tail] = static_cast<std::uint16_t>(l << 8 | t.symbols[t.first_index[l] + i]);
        }
}

// Every pair_bits-bit string that begins with an AC code and its value bits: what the code (and
// the next one, when it fits too) does to the block.
void jpeg_decoder_c::fill_pairs(table_s& t)
{
    // The symbol whose code of at most most bits begins the pair_bits-bit string, with its length.
    const auto code_at = [&t](unsigned string, unsigned most, unsigned& length) {
        for (length = 1; length <= most; ++length) {
            const auto code = static_cast<std::int32_t>(string >> (pair_bits - length));
            if (t.counts[length] != 0 && code <= t.max_code[length])
                return static_cast<int>(t.symbols[t.first_index[length] + static_cast<unsigned>(code - t.first_code[length])]);
        }
        return -1;
    };
    // The coefficient positions a symbol covers; none when it ends the block.
    const auto steps = [](unsigned rs) { return (rs & 15) != 0 ? (rs >> 4) + 1 : rs == 0xF0 ? 16u : 0u; };
    for (unsigned string = 0; string < t.pairs.size(); ++string) {
        unsigned length = 0;
        const int first = code_at(string, pair_bits, length);
        if (first < 0 || (first & 15) > static_cast<int>(pair_value_bits) || length + (first & 15) > pair_bits)
            continue;
        const unsigned first_used = length + static_cast<unsigned>(first & 15);
        const unsigned first_steps = steps(static_cast<unsigned>(first));
        std::uint16_t entry = pair_entry_s::pack(first_used, first_steps, first_steps == 0);
        const unsigned left = pair_bits - first_used;
        const int second = first_steps == 0 || left == 0 ? -1 : code_at((string << first_used) & ((1u << pair_bits) - 1), left, length);
        if (second >= 0 && (second & 15) <= static_cast<int>(pair_value_bits) && length + (second & 15) <= left) {
            const unsigned second_steps = steps(static_cast<unsigned>(second));
            entry = pair_entry_s::pack(first_used + length + static_cast<unsigned>(second & 15), first_steps + second_steps,
                                       second_steps == 0);
        }
        t.pairs[string] = entry;
    }
}

bool jpeg_decoder_c::tables(std::uint64_t at, unsigned length)
{
    const auto defined = std::make_shared<std::array<table_s, 8>>(*tables_);
    tables_ = defined;
    const std::uint64_t end = at + length - 2;
    while (at < end) {
        const int which = raw(at);
        if (which < 0 || (which >> 4) > 1 || (which & 15) > 3 || at + 17 > end)
            return false;
        table_s& t = (*defined)[static_cast<std::size_t>((which >> 4) * 4 + (which & 15))];
        t = {};
        unsigned total = 0;
        std::int32_t code = 0;
        for (unsigned l = 1; l <= 16; ++l) {
            t.counts[l] = static_cast<std::uint8_t>(raw(at + l));
            t.first_code[l] = code;
            t.first_index[l] = static_cast<std::uint16_t>(total);
            total += t.counts[l];
            code += t.counts[l];
            t.max_code[l] = t.counts[l] == 0 ? -1 : code - 1;
            if (total > 256 || code > (1 << l)) // over-subscribed: no writer makes such a table
                return false;
            code <<= 1;
        }
        if (at + 17 + total > end)
            return false;
        for (unsigned i = 0; i < total; ++i)
            t.symbols[i] = static_cast<std::uint8_t>(raw(at + 17 + i));
        fill_fast(t);
        if ((which >> 4) == 1)
            fill_pairs(t);
        t.defined = true;
        at += 17 + total;
    }
    return at == end;
}

bool jpeg_decoder_c::scan_header(std::uint64_t at, unsigned length)
{
    const int count = raw(at);
    if (count < 1 || count > 4 || length != 6 + 2u * static_cast<unsigned>(count) || components_.empty())
        return false;
    scan_.clear();
    for (int i = 0; i < count; ++i) {
        const int id = raw(at + 1 + 2ull * i);
        const int selectors = raw(at + 2 + 2ull * i);
        const auto c = std::find_if(components_.begin(), components_.end(),
                                    [&](const component_s& k) { return static_cast<int>(k.id) == id; });
        if (c == components_.end() || selectors < 0 || (selectors >> 4) > 3 || (selectors & 15) > 3
            || !(*tables_)[static_cast<std::size_t>(selectors >> 4)].defined
            || !(*tables_)[4 + static_cast<std::size_t>(selectors & 15)].defined)
            return false;
        c->dc = static_cast<unsigned>(selectors >> 4);
        c->ac = static_cast<unsigned>(selectors & 15);
        c->scanned = true;
        scan_.push_back(static_cast<unsigned>(c - components_.begin()));
    }
    const std::uint64_t tail = at + 1 + 2ull * count;
    if (raw(tail) != 0 || raw(tail + 1) != 63 || raw(tail + 2) != 0)
        return false; // not a sequential scan
    if (scan_.size() == 1) {
        const component_s& c = components_[scan_[0]];
        mcus_ = ceil_div(ceil_div(std::uint64_t{width_} * c.h, h_max_), 8) * ceil_div(ceil_div(std::uint64_t{height_} * c.v, v_max_), 8);
    } else {
        mcus_ = ceil_div(width_, 8ull * h_max_) * ceil_div(height_, 8ull * v_max_);
    }
    state_.mcu = 0;
    state_.restart = 0;
    state_.bits = 0;
    state_.count = state_.real = 0;
    state_.marker = false;
    return mcus_ <= most_mcus;
}

bool jpeg_decoder_c::restart_marker()
{
    if (!align() || raw(state_.at) != 0xFF || raw(state_.at + 1) != static_cast<int>(0xD0 + state_.restart))
        return false;
    state_.at += 2;
    state_.restart = (state_.restart + 1) & 7;
    state_.bits = 0;
    state_.count = 0;
    state_.marker = false;
    return true;
}

bool jpeg_decoder_c::decode_scan(std::uint64_t split)
{
    // Decoding that breaks on bytes taken from the split on stops there: those bytes are the
    // other file's, and the blocks are decoded again from the kept state with the right ones.
    const auto broke = [&] { return split != UINT64_MAX && state_.at > split && !kept_.failed; };
    for (; state_.mcu < mcus_; ++state_.mcu) {
        if (state_.at <= split)
            kept_ = state_; // every byte taken so far lies before the split
        else if (split != UINT64_MAX)
            return true;
        if (interval_ != 0 && state_.mcu != 0 && state_.mcu % interval_ == 0 && !restart_marker())
            return broke();
        if (!mcu_blocks())
            return broke();
    }
    if (broke())
        return true; // the last blocks took bytes past the split
    in_scan_ = false;
    return end_of_scan();
}

// After a scan's last block: the bits left are padding, and a marker follows.
bool jpeg_decoder_c::end_of_scan()
{
    if (!align())
        return false;
    state_.bits = 0;
    state_.count = 0;
    state_.marker = false;
    return raw(state_.at) == 0xFF && raw(state_.at + 1) != 0 && !(raw(state_.at + 1) >= 0xD0 && raw(state_.at + 1) <= 0xD7);
}

// The segments from state_.at up to a scan's data (in_scan_ set) or the end of the image (ended).
bool jpeg_decoder_c::parse_segments(bool& ended)
{
    for (int segments = 0; segments < most_segments; ++segments) {
        if (raw(state_.at) != 0xFF)
            return false;
        while (raw(state_.at + 1) == 0xFF)
            ++state_.at;
        const int marker = raw(state_.at + 1);
        state_.at += 2;
        if (marker == 0xD9) {
            ended = std::all_of(components_.begin(), components_.end(), [](const component_s& c) { return c.scanned; })
                    && !components_.empty();
            return ended;
        }
        const unsigned length = static_cast<unsigned>(raw(state_.at) << 8 | raw(state_.at + 1));
        if (marker < 0xC0 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || length < 2)
            return false;
        const std::uint64_t body = state_.at + 2;
        state_.at += length;
        if ((marker == 0xC0 || marker == 0xC1) && !frame(body, length))
            return false;
        if ((marker >= 0xC2 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC))
            return false; // progressive, lossless and arithmetic coding are not decoded here
        if (marker == 0xC4 && !tables(body, length))
            return false;
        if (marker == 0xDD) {
            if (length != 4)
                return false;
            interval_ = static_cast<unsigned>(raw(body) << 8 | raw(body + 1));
        }
        if (marker == 0xDA) {
            in_scan_ = scan_header(body, length);
            return in_scan_;
        }
    }
    return false;
}

bool jpeg_decoder_c::run_to(std::uint64_t split)
{
    split_ = split;
    kept_ = {};
    kept_.failed = true;
    for (int scans = 0; scans < most_segments; ++scans) {
        bool ended = false;
        if (!parse_segments(ended) || ended || state_.at >= split)
            return false;
        if (!decode_scan(split))
            return false;
        if (in_scan_)
            return !kept_.failed; // stopped at the split, inside this scan
    }
    return false;
}

void jpeg_decoder_c::begin_tail(std::uint64_t resume)
{
    layout_ = {split_, resume};
    window_length_ = 0; // the bytes from the split on are read anew
    state_ = kept_;
    in_scan_ = true;
}

std::uint64_t jpeg_decoder_c::rest()
{
    for (int scans = 0; scans < most_segments; ++scans) {
        if (in_scan_ && (!decode_scan(UINT64_MAX) || state_.failed))
            return 0;
        bool ended = false;
        if (!parse_segments(ended))
            return 0;
        if (ended)
            return layout_.place(state_.at - 1) + 1;
    }
    return 0;
}

std::uint64_t jpeg_decoder_c::finish(std::uint64_t resume)
{
    begin_tail(resume);
    return rest();
}

std::uint64_t jpeg_decoder_c::next_bit()
{
    // The bits held came from the last bytes taken, a stuffed 0xFF 0x00 being one of them; far
    // enough past the split, none of them lies in the first piece.
    if (state_.marker || state_.at < split_ + 20)
        return UINT64_MAX;
    std::uint64_t at = state_.at;
    for (unsigned held = (state_.real + 7) / 8; held > 0; --held)
        at -= raw(at - 1) == 0x00 && raw(at - 2) == 0xFF ? 2 : 1;
    return layout_.place(at) * 8 + (8 - state_.real % 8) % 8;
}

bool jpeg_decoder_c::trace(const std::vector<lane_s>& lanes, lane_s& own, std::size_t& with, std::uint64_t& with_mcu,
                           std::size_t& recorded)
{
    // Junk before the right place may decode into more groups than the frame has; past twice as
    // many the lane is given up, and nothing is taken from it.
    const std::uint64_t most = 2 * mcus_ + 4096;
    while (true) {
        if (const std::uint64_t bit = next_bit(); bit != UINT64_MAX) {
            for (std::size_t j = 0; j < lanes.size(); ++j) {
                const auto& trail = lanes[j].trail;
                const auto it = std::lower_bound(trail.begin(), trail.end(), std::pair{bit, std::uint64_t{0}});
                if (it != trail.end() && it->first == bit && !lanes[j].cut) {
                    with = j;
                    with_mcu = it->second;
                    return true;
                }
            }
            if (recorded < most_recorded) {
                own.trail.emplace_back(bit, state_.mcu);
                ++recorded;
            }
        }
        const state_s before = state_;
        if (state_.mcu >= most || !mcu_blocks()) {
            own.cut = state_.mcu >= most;
            state_ = before;
            own.ended = !own.cut && end_of_scan();
            state_ = own.last = before;
            return false;
        }
        ++state_.mcu;
    }
}

int jpeg_decoder_c::finish_first(std::span<const std::uint64_t> resumes, std::uint64_t& end)
{
    std::vector<lane_s> lanes;
    std::size_t recorded = 0;
    for (std::size_t i = 0; i < resumes.size(); ++i) {
        jpeg_decoder_c attempt = *this;
        if (interval_ != 0) {
            // Restart markers, which must come where the group count puts them, reject a wrong
            // place within an interval; groups counted from elsewhere would not fall into step.
            end = attempt.finish(resumes[i]);
        } else {
            attempt.begin_tail(resumes[i]);
            lane_s own;
            own.resume = resumes[i];
            std::size_t with = 0;
            std::uint64_t with_mcu = 0;
            if (attempt.trace(lanes, own, with, with_mcu, recorded)) {
                // In step from here on: this place's data ends where the lane's did, after as many
                // more groups as the lane's took.
                const lane_s& lane = lanes[with];
                if (!lane.ended || lane.last.mcu - with_mcu + attempt.state_.mcu != mcus_)
                    continue;
                attempt.state_ = lane.last;
                attempt.state_.at = lane.last.at + lane.resume - resumes[i]; // the same volume byte
                attempt.state_.mcu = mcus_;
            } else {
                const bool whole = own.ended && own.last.mcu == mcus_;
                lanes.push_back(std::move(own));
                if (!whole)
                    continue;
            }
            end = attempt.rest();
        }
        if (end > resumes[i])
            return static_cast<int>(i);
    }
    end = 0;
    return -1;
}

} // namespace tarn
