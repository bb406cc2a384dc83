#include "common/visible_text.h"

#include <algorithm>

namespace tarn {

namespace {

bool is_control(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

} // namespace

QString visible_text(const QString& text, bool escape_backslash)
{
    // Most names need nothing: they are returned as they are, without a copy.
    if (std::none_of(text.begin(), text.end(), [escape_backslash](QChar c) {
            return is_control(c.unicode()) || (escape_backslash && c == QLatin1Char('\\'));
        }))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\': out += escape_backslash ? QLatin1String("\\\\") : QLatin1String("\\"); break;
        case u'\t': out += QLatin1String("\\t"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        default:
            if (is_control(c.unicode()))
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out;
}

} // namespace tarn
