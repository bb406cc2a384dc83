#pragma once
// A raw deflate stream inflated only to learn where it ends and what it holds (its CRC-32 and
// length), read through a layout so that a stream split across two fragments can be checked.

#include "libs/carve/formats/fragments.h"

namespace tarn {

struct inflated_s {
    std::uint64_t used = 0; // compressed bytes of the stream
    std::uint32_t crc = 0;
    std::uint64_t length = 0;
};

// Inflates the raw deflate stream at at (an offset of the layout), reading no further than stop;
// false unless it ends.
bool inflate_stream(carve_reader_c& in, const split_layout_s& layout, std::uint64_t at, std::uint64_t stop,
                    inflated_s& result);

} // namespace tarn
