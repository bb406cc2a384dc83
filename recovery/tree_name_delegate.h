#pragma once
// Draws the folder tree's names each in its own reading direction: in a right-to-left window a
// name such as "#hotos" keeps its "#" in front, and an Arabic name still reads right to left.

#include <QStyledItemDelegate>

namespace tarn {

class tree_name_delegate_c : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QString displayText(const QVariant& value, const QLocale& locale) const override;
};

} // namespace tarn
