#include "widgets/page_button.h"

#include "settings/language.h"

#include <QPushButton>

namespace tarn {

namespace {

const QString page_button_style = QStringLiteral(
    "QPushButton{ border-image: url(:/images/partition_search/btn_wai_1.png); }"
    "QPushButton:hover{ border-image: url(:/images/partition_search/btn_wai_2.png); }"
    "QPushButton:pressed{ border-image: url(:/images/partition_search/btn_wai_3.png); }");

} // namespace

void prepare_page_button(QPushButton* button, std::string_view text_key)
{
    QFont font(QStringLiteral("Arial"), 11);
    font.setBold(true);
    button->setFont(font);
    button->setStyleSheet(page_button_style);
    button->resize(100, 30);
    button->setText(language_text(text_key));
}

} // namespace tarn
