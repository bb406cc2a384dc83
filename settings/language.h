#pragma once
// The language texts: one section per language in "language.ini", looked up by key.

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace tarn {

// Key bytes exactly as written in the file (case and blanks matter) → text. Never cleared: a
// later load adds keys and overwrites earlier texts, which is how English stays the base.
extern std::map<std::string, QString, std::less<>> language_table;
// Section names of the most recent successful load, in file order.
extern QStringList language_names;
// Position of the chosen language in language_names.
extern int language_index;

// Reads "language.ini" (from the working directory, else from beside the program) and loads
// the section called name; with select, language_index becomes that section's position. 0 when the file opened (found or
// not), -1 when it did not open.
int load_language(const QString& name, bool select);
// The same, on a file named by path.
int load_language_file(const QString& path, const QString& name, bool select);

// The text stored for key. A key not in the table is added with an empty text.
QString& language_text(std::string_view key);

// Two-letter code of the chosen language ("de", "fr", …), "en" for any other name and when no
// language file has been read.
QString language_code();
// The toolkit's locale name of the chosen language ("de", "zh_CN", "pt_BR", "ar", …); "en"
// wherever language_code() gives "en".
QString language_locale();

// Per-language images. t is the tab ("1" to "3"), s the state ("1" normal, "2" hover,
// "3" pressed). The home-button paths start without ":" because the style-sheet template that
// uses them supplies it.
QString multilang_tab_image(const QString& t, const QString& s);
QString multilang_start_image(const QString& s);
QString multilang_resume_image(const QString& s);

} // namespace tarn
