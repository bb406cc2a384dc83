#include "recovery/tree_name_delegate.h"

namespace tarn {

QString tree_name_delegate_c::displayText(const QVariant& value, const QLocale& locale) const
{
    // First-strong isolate: the text takes the direction of its first strong character.
    return QChar(0x2068) + QStyledItemDelegate::displayText(value, locale) + QChar(0x2069);
}

} // namespace tarn
