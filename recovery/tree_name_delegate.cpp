#include "recovery/tree_name_delegate.h"

#include "common/visible_text.h"

namespace tarn {

QString tree_name_delegate_c::displayText(const QVariant& value, const QLocale& locale) const
{
    // First-strong isolate: the text takes the direction of its first strong character. A control
    // character in a name from the disk is shown as an escape.
    return QChar(0x2068) + visible_text(QStyledItemDelegate::displayText(value, locale)) + QChar(0x2069);
}

} // namespace tarn
