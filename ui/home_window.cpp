#include "ui/home_window.h"

#include "settings/language.h"
#include "ui/main_window.h"
#include "ui/ui_home_form.h"

#include <QPainter>

namespace tarn {

namespace {

const QString background_image = QStringLiteral(":/images/background/bai.png");
const QString picture_image = QStringLiteral(":/images/home/wenzi.png");

} // namespace

home_window_c::home_window_c(main_window_c* main_window)
    : QWidget(nullptr), ui_(std::make_unique<Ui::HomeForm>()), main_window_(main_window)
{
    ui_->setupUi(this);
    ui_->lbl_wenzi->setGeometry(55, 262, 692, 188);
    ui_->btn_start->setGeometry(40, 105, 330, 106);
    ui_->btn_resume->setGeometry(425, 105, 323, 106);
    const QString s1 = QStringLiteral("1"), s2 = QStringLiteral("2"), s3 = QStringLiteral("3");
    ui_->btn_start->setStyleSheet(
        button_style(multilang_start_image(s1), multilang_start_image(s2), multilang_start_image(s3)));
    ui_->btn_resume->setStyleSheet(
        button_style(multilang_resume_image(s1), multilang_resume_image(s2), multilang_resume_image(s3)));
    connect(ui_->btn_start, &QPushButton::clicked, main_window_, &main_window_c::on_click_home_start);
    connect(ui_->btn_resume, &QPushButton::clicked, main_window_, &main_window_c::on_click_home_resume);
    // The picture is painted by the page itself.
    ui_->lbl_wenzi->hide();
}

home_window_c::~home_window_c() = default;

QString home_window_c::button_style(const QString& normal, const QString& hover, const QString& pressed)
{
    return QString::asprintf("QPushButton{ border-image: url(:%s); }QPushButton:hover{ border-image: "
                             "url(:%s);}QPushButton:pressed{  border-image: url(:%s);}",
                             normal.toUtf8().constData(), hover.toUtf8().constData(),
                             pressed.toUtf8().constData());
}

void home_window_c::resizeEvent(QResizeEvent*)
{
    const int h = height();
    for (QPushButton* button : {ui_->btn_start, ui_->btn_resume}) {
        const int y = static_cast<int>(h - (0.55 * h + button->height()));
        button->move(button->x(), y);
    }
    ui_->lbl_wenzi->move(ui_->lbl_wenzi->x(), h - ui_->lbl_wenzi->height() - 60);
}

void home_window_c::paintEvent(QPaintEvent*)
{
    const int w = width();
    const int h = height();
    QPainter painter(this);
    const QPixmap background(background_image);
    painter.fillRect(QRect(0, 0, w, background.height()), QBrush(background));
    painter.drawPixmap(55, h - 240, QPixmap(picture_image));
    painter.setFont(QFont(QStringLiteral("arial"), 8));
    painter.setPen(QColor(91, 135, 201));
    painter.drawText(70, h - 190, language_text("home_text1"));
    painter.drawText(70, h - 140, language_text("home_text2"));
    painter.drawText(70, h - 90, language_text("home_text3"));
}

} // namespace tarn
