#pragma once
// Which of the page's engines produced the findings that the tree, the table and the extraction
// work on.

namespace tarn {

enum scanner_kind_e : int { scanner_fat = 0, scanner_ntfs = 1, scanner_raw = 2, scanner_exfat = 3 };
inline constexpr int scanner_kinds = 4;

} // namespace tarn
