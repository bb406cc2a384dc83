#pragma once
// The push buttons of the drive, volume and partition pages: Arial 11 bold on a three-state
// border image, 100 × 30, with their caption from the language table.

#include <string_view>

class QPushButton;

namespace tarn {

void prepare_page_button(QPushButton* button, std::string_view text_key);

} // namespace tarn
