#pragma once
// Finding a byte pattern in a volume's bytes. The standard search stops at every place its first
// byte occurs, once every 256 bytes of compressed data; looking for the first two bytes together
// stops about once every 64 KiB.

#include <cstddef>
#include <string_view>

namespace tarn {

// The first place of pattern in text at or after from; npos when there is none.
std::size_t find_pattern(std::string_view text, std::string_view pattern, std::size_t from = 0);

// The first place at or after from where a or b begins, in one pass over text; npos when neither
// does.
std::size_t find_either(std::string_view text, std::string_view a, std::string_view b, std::size_t from = 0);

} // namespace tarn
