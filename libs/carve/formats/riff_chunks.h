#pragma once
// The chunks of a RIFF list (WAV, AVI, WebP).

#include "libs/carve/carve_format.h"

#include <span>

namespace tarn {

// Walks the chunks of the RIFF list at at, of the given form, ending no further than stop. Returns
// the list's end and sets found to the needed chunks seen (bit i for needs[i]; a "LIST" chunk is
// named by its list type); 0 when it is no such list or the chunks do not fill it.
std::uint64_t riff_walk(carve_reader_c& in, std::uint64_t at, std::uint64_t stop, std::uint32_t form,
                        std::span<const std::uint32_t> needs, unsigned& found);

} // namespace tarn
