#include "common/safe_file_name.h"

namespace tarn {

namespace {

qsizetype utf8_bytes(QStringView text)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80)
            bytes += 1;
        else if (c < 0x800)
            bytes += 2;
        else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            bytes += 4;
            ++i;
        } else {
            bytes += 3;
        }
    }
    return bytes;
}

// The longest start of text that fits in budget UTF-8 bytes, never splitting a surrogate pair.
QString leading_part(const QString& text, qsizetype budget)
{
    qsizetype end = 0;
    qsizetype used = 0;
    while (end < text.size()) {
        const qsizetype step = text[end].isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
        const qsizetype bytes = utf8_bytes(QStringView(text).mid(end, step));
        if (used + bytes > budget)
            break;
        used += bytes;
        end += step;
    }
    return text.left(end);
}

QString shortened(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    // An extension is kept when it is short, so the shortened file still opens with its program.
    const QString extension = dot > 0 && name.size() - dot <= 16 ? name.mid(dot) : QString();
    const QString stem = name.left(name.size() - extension.size());
    return leading_part(stem, safe_file_name_max_bytes - utf8_bytes(extension)) + extension;
}

} // namespace

QString safe_file_name(const QString& name)
{
    QString out;
    out.reserve(name.size());
    for (QChar c : name)
        out += (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7F)
                   ? QLatin1Char('_')
                   : c;
    if (utf8_bytes(out) > safe_file_name_max_bytes)
        out = shortened(out);
    if (out.isEmpty() || out == QLatin1String(".") || out == QLatin1String(".."))
        out.prepend(QLatin1Char('_'));
    return out;
}

} // namespace tarn
