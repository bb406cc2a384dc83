#include "settings/language.h"

#include "platform/system.h"
#include "settings/language_entry.h"

#include <QFile>

#include <array>
#include <cstdio>
#include <memory>
#include <regex>

namespace tarn {

std::map<std::string, QString, std::less<>> language_table;
QStringList language_names;
int language_index = 0;

namespace {

// The file is read through a buffer of this size, so a longer line arrives in pieces, each
// piece taken as a line of its own.
constexpr std::size_t line_buffer_size = 2048;

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

// Reads the next piece of at most line_buffer_size - 1 bytes, ending after a line feed. A
// carriage return before a line feed is dropped, as a text-mode read does. Returns false at
// the end of the file.
bool read_line(std::FILE* file, std::string& line)
{
    line.clear();
    while (line.size() < line_buffer_size - 1) {
        int c = std::getc(file);
        if (c == EOF)
            break;
        if (c == '\r') {
            const int next = std::getc(file);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                std::ungetc(next, file);
        }
        line.push_back(static_cast<char>(c));
        if (c == '\n')
            break;
    }
    if (line.empty())
        return false;
    // The piece is handled as a C string: a zero byte ends it.
    if (const auto zero = line.find('\0'); zero != std::string::npos)
        line.resize(zero);
    return true;
}

// Replaces each two-byte escape left to right without rescanning what it inserted.
void replace_escape(std::string& text, char letter, char replacement)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == letter) {
            out.push_back(replacement);
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    text.swap(out);
}

// std::regex reports resource exhaustion by throwing; a line it cannot decide is ignored.
bool match_line(const std::string& line, std::smatch& match, const std::regex& expression)
{
    try {
        return std::regex_match(line, match, expression);
    } catch (const std::regex_error&) {
        return false;
    }
}

struct code_entry {
    const char16_t* name;
    const char* code;
    // The toolkit's locale name, which names its translation catalogs ("qtbase_zh_CN.qm").
    const char* locale;
};

// Tested in this order; the first name that matches gives the code. The Português texts are
// written in Brazilian Portuguese, the variant the toolkit's catalogs have.
constexpr std::array<code_entry, 10> language_codes = {{
    {u"Deutsch", "de", "de"},
    {u"Français", "fr", "fr"},
    {u"Español", "es", "es"},
    {u"简体中文", "cn", "zh_CN"},
    {u"繁體中文", "hk", "zh_TW"},
    {u"Italiano", "it", "it"},
    {u"日本語", "jp", "ja"},
    {u"Português", "pt", "pt_BR"},
    {u"Nederlands", "nl", "nl"},
    {u"العربية", "ar", "ar"},
}};

// The entry of the chosen language; nullptr for English, any other name, and when no language
// file has been read.
const code_entry* chosen_entry()
{
    if (language_index < 0 || language_index >= language_names.size())
        return nullptr;
    const QString& chosen = language_names.at(language_index);
    for (const auto& entry : language_codes) {
        if (chosen.compare(QString::fromUtf16(entry.name), Qt::CaseInsensitive) == 0)
            return &entry;
    }
    return nullptr;
}

} // namespace

int load_language_file(const QString& path, const QString& wanted, bool select)
{
    // A copy: the caller may pass one of language_names, which is emptied below.
    const QString name = wanted;
    const std::regex section_expression(R"re(^\s*\[(.*)\]\s*$)re", std::regex::ECMAScript);

    file_handle file(std::fopen(QFile::encodeName(path).constData(), "rb"));
    if (!file)
        return -1;

    language_names.clear();
    bool in_section = false;
    std::string line;
    std::smatch match;
    while (read_line(file.get(), line)) {
        if (match_line(line, match, section_expression)) {
            const QString section = QString::fromUtf8(match.str(1));
            language_names.append(section);
            // A header right after the wanted section ends it, even when it repeats the name.
            if (in_section) {
                in_section = false;
            } else if (section == name) {
                in_section = true;
                if (select)
                    language_index = static_cast<int>(language_names.size()) - 1;
            }
        } else if (auto entry = in_section ? parse_language_entry(line) : std::nullopt) {
            replace_escape(entry->text, 't', '\t');
            replace_escape(entry->text, 'n', '\n');
            language_table[entry->key] = QString::fromUtf8(entry->text);
        }
    }
    return 0;
}

int load_language(const QString& name, bool select)
{
    return load_language_file(data_file_path(QStringLiteral("language.ini")), name, select);
}

QString& language_text(std::string_view key)
{
    auto found = language_table.find(key);
    if (found == language_table.end())
        found = language_table.emplace(std::string(key), QString()).first;
    return found->second;
}

QString language_code()
{
    // With no language file read there is no name to map; English is the mapping's default.
    const code_entry* entry = chosen_entry();
    return entry ? QString::fromLatin1(entry->code) : QStringLiteral("en");
}

QString language_locale()
{
    const code_entry* entry = chosen_entry();
    return entry ? QString::fromLatin1(entry->locale) : QStringLiteral("en");
}

QString multilang_tab_image(const QString& t, const QString& s)
{
    return QStringLiteral(":/images/multilang/") + language_code() + QStringLiteral("/btn_top") + t + s
           + QStringLiteral(".png");
}

QString multilang_start_image(const QString& s)
{
    return QStringLiteral("/images/multilang/") + language_code() + QStringLiteral("/btn_start_scan") + s
           + QStringLiteral(".png");
}

QString multilang_resume_image(const QString& s)
{
    return QStringLiteral("/images/multilang/") + language_code() + QStringLiteral("/btn_resume_recovery")
           + s + QStringLiteral(".png");
}

} // namespace tarn
