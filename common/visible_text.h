#pragma once
// Names read from a disk are shown and printed as text, never as controls: a tab or line break in
// a name must not forge a row of the command line's listing, and an escape sequence must not
// reach the terminal or the window as one.

#include <QString>

namespace tarn {

// Tab, line feed and carriage return become "\t", "\n", "\r"; every other control character
// (C0, DEL, C1) becomes "\xHH"; with escape_backslash, a backslash becomes "\\" (so that the
// escapes can be told from the name's own text, as a tab-separated listing needs). Everything
// else is kept, so a name without controls reads as it is.
QString visible_text(const QString& text, bool escape_backslash = false);

} // namespace tarn
