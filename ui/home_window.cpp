#include "ui/home_window.h"

#include "settings/language.h"
#include "ui/main_window.h"
#include "ui/ui_home_form.h"

#include <QPainter>

#include <utility>

namespace tarn {

namespace {

const QString background_image = QStringLiteral(":/images/background/bai.png");
const QString picture_image = QStringLiteral(":/images/home/wenzi.png");

// Left edges of the two buttons and the picture, and where the text lines start, for a page laid
// out left to right; right to left, each keeps the same distance from the right edge.
constexpr int start_x = 40;
constexpr int resume_x = 425;
constexpr int picture_x = 55;
constexpr int text_x = 70;

} // namespace

home_window_c::home_window_c(main_window_c* main_window)
    : QWidget(nullptr), ui_(std::make_unique<Ui::HomeForm>()), main_window_(main_window)
{
    ui_->setupUi(this);
    ui_->lbl_wenzi->setGeometry(55, 262, 692, 188);
    ui_->btn_start->setGeometry(start_x, 105, 330, 106);
    ui_->btn_resume->setGeometry(resume_x, 105, 323, 106);
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

int home_window_c::visual_x(int x, int width) const
{
    return isRightToLeft() ? this->width() - x - width : x;
}

void home_window_c::resizeEvent(QResizeEvent*)
{
    const int h = height();
    const std::pair<QPushButton*, int> buttons[] = {{ui_->btn_start, start_x}, {ui_->btn_resume, resume_x}};
    for (const auto& [button, x] : buttons) {
        const int y = static_cast<int>(h - (0.55 * h + button->height()));
        button->move(visual_x(x, button->width()), y);
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
    // Right to left, the picture's bulb and bullets sit at its right edge, where the lines begin.
    QImage picture(picture_image);
    if (isRightToLeft())
        picture.mirror(true, false);
    painter.drawImage(visual_x(picture_x, picture.width()), h - 240, picture);
    painter.setFont(QFont(QStringLiteral("arial"), 8));
    painter.setPen(QColor(91, 135, 201));
    const QFontMetrics metrics = painter.fontMetrics();
    const int baselines[] = {h - 190, h - 140, h - 90};
    const char* keys[] = {"home_text1", "home_text2", "home_text3"};
    for (int line = 0; line < 3; ++line) {
        const QString& text = language_text(keys[line]);
        painter.drawText(visual_x(text_x, metrics.horizontalAdvance(text)), baselines[line], text);
    }
}

} // namespace tarn
