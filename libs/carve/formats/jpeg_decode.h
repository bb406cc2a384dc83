#pragma once
// The entropy-coded data of a sequential Huffman JPEG (baseline or extended), decoded block by
// block without making pixels: every code must be in its table, every block hold at most 64
// coefficients, restart markers come in order where the interval puts them, and each scan hold
// exactly the blocks the frame's size calls for. Decoding comes out exactly only when every byte
// is in its place, which is what tells where a fragmented JPEG goes on.

#include "libs/carve/formats/fragments.h"

#include <array>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace tarn {

class jpeg_decoder_c {
public:
    jpeg_decoder_c(carve_reader_c& in, std::uint64_t start, std::uint64_t stop) : in_(in), stop_(stop)
    {
        state_.at = start + 2;
    }

    // Decodes from the start until the bytes taken reach past split, and keeps the state at the
    // last block group (MCU) boundary whose bytes all lie before it; false when the file fails
    // before, is not sequential, or split is not inside a scan's data.
    bool run_to(std::uint64_t split);
    // From the kept state, with the bytes from split on read from resume on, decodes to the end;
    // the volume offset past the EOI marker, 0 when the file does not decode exactly.
    std::uint64_t finish(std::uint64_t resume);
    // From the kept state, the first of resumes, in their order, from which finish comes out
    // exactly: its index, with the end in end; -1 when there is none. A place whose decoding falls
    // into step with one decoded before (a block group starting at the same bit) takes that one's
    // outcome instead of decoding the rest again: Huffman codes resynchronise, so the wrong places
    // inside the right piece would otherwise each be decoded nearly to its end.
    int finish_first(std::span<const std::uint64_t> resumes, std::uint64_t& end);

private:
    static constexpr unsigned fast_bits = 9;
    static constexpr unsigned pair_bits = 12;

    struct table_s {
        // Codes of up to fast_bits bits looked up at once: the symbol and the code's length (0 for
        // longer codes).
        std::array<std::uint16_t, 1u << fast_bits> fast{};
        // In an AC table, the one or two coefficients whose codes and value bits fill the next
        // pair_bits bits, as pair_entry packs them (0 when the first does not fit).
        std::array<std::uint16_t, 1u << pair_bits> pairs{};
        std::array<std::uint8_t, 17> counts{};
        std::array<std::int32_t, 18> max_code{};
        std::array<std::int32_t, 17> first_code{};
        std::array<std::uint16_t, 17> first_index{};
        std::array<std::uint8_t, 256> symbols{};
        bool defined = false;
    };
    struct component_s {
        unsigned id = 0, h = 1, v = 1;
        unsigned dc = 0, ac = 0; // the tables of the current scan
        bool scanned = false;
    };
    // Where the decoding is: the next byte to take, the bits taken and not yet used (high bits
    // first; past a marker, zeros that are no data), the block reached in the scan and the restart
    // marker expected next.
    struct state_s {
        std::uint64_t at = 0;
        std::uint64_t bits = 0;
        unsigned count = 0; // bits held
        unsigned real = 0;  // of those, bits of data
        bool marker = false; // a marker (or the end) stopped the taking at at
        std::uint64_t mcu = 0;
        unsigned restart = 0;
        bool failed = false;
    };

    // A resume place decoded on its own as far as its data goes: the bit where each of its block
    // groups started (increasing), and how its data ended.
    struct lane_s {
        std::uint64_t resume = 0;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> trail; // volume bit, block group
        bool ended = false; // its data ran out cleanly (padding, then a marker) after last.mcu groups
        bool cut = false;   // stopped before its data ran out
        state_s last;       // after its last whole block group
    };

    int raw(std::uint64_t at);
    void refill();
    void skip(unsigned n);
    int decode(const table_s& t, bool with_value);
    // Drops the padding bits up to the byte boundary; false when data bytes are left before it.
    bool align();
    bool block(const component_s& c);
    bool mcu_blocks();
    // The volume bit where the next data bit lies; none (UINT64_MAX) past a marker or near the split.
    std::uint64_t next_bit();
    void begin_tail(std::uint64_t resume);
    std::uint64_t rest();
    // Decodes block groups from the state on, past the scan's count, until one fails: true when a
    // group started where one of lanes' did (with is that lane, with_mcu its group there), else
    // own holds this decoding.
    bool trace(const std::vector<lane_s>& lanes, lane_s& own, std::size_t& with, std::uint64_t& with_mcu,
               std::size_t& recorded);
    bool parse_segments(bool& ended);
    bool frame(std::uint64_t at, unsigned length);
    bool tables(std::uint64_t at, unsigned length);
    static void fill_fast(table_s& t);
    static void fill_pairs(table_s& t);
    bool scan_header(std::uint64_t at, unsigned length);
    // Decodes the current scan's block groups from state_.mcu on. With split given it stops (true)
    // at the first group boundary after the bytes taken went past split, or where decoding broke
    // on bytes from the split on (they are the other file's); the kept state is the last group
    // boundary before it.
    bool decode_scan(std::uint64_t split);
    bool restart_marker();
    bool end_of_scan();

    carve_reader_c& in_;
    const std::uint64_t stop_;
    // The bytes around the decoding as the reader holds them, never across the split; taken
    // anew once the reader's bytes moved (window_moves_ no longer the reader's).
    const std::uint8_t* window_ = nullptr;
    std::uint64_t window_moves_ = 0;
    std::uint64_t window_at_ = 0;
    std::size_t window_length_ = 0;
    split_layout_s layout_; // none while the first piece is decoded
    std::uint64_t split_ = UINT64_MAX;
    state_s state_;
    state_s kept_;
    // DC 0-3, AC 0-3; shared by the copies that try resume places, replaced (not changed) when a
    // segment defines tables.
    std::shared_ptr<const std::array<table_s, 8>> tables_ = std::make_shared<const std::array<table_s, 8>>();
    std::vector<component_s> components_;
    std::vector<unsigned> scan_; // the current scan's components, by index
    unsigned width_ = 0, height_ = 0, precision_ = 8, interval_ = 0, h_max_ = 1, v_max_ = 1;
    std::uint64_t mcus_ = 0;
    bool in_scan_ = false;
};

} // namespace tarn
