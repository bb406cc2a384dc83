#include "ui/skin_widget.h"

#include "platform/layered_window.h"
#include "settings/language.h"
#include "ui/skin_widget_resize_handler.h"
#include "ui/system_button.h"
#include "ui/top_button.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace tarn {

namespace {

const QString top_band_image = QStringLiteral(":/images/system/so.png");
const QString left_side_image = QStringLiteral(":/images/system/sl.png");
const QString right_side_image = QStringLiteral(":/images/system/sr.png");
const QString bottom_band_image = QStringLiteral(":/images/system/su.png");

// Only a press in the title band (and its first pixel row below) may drag the window.
constexpr int drag_band_bottom = 100;

std::array<QString, 3> system_images(const QString& stem)
{
    const QString base = QStringLiteral(":/images/system/") + stem;
    return {base + QLatin1Char('1') + QStringLiteral(".png"), base + QLatin1Char('2') + QStringLiteral(".png"),
            base + QLatin1Char('3') + QStringLiteral(".png")};
}

std::array<QString, 3> tab_images(const QString& tab)
{
    return {multilang_tab_image(tab, QStringLiteral("1")), multilang_tab_image(tab, QStringLiteral("2")),
            multilang_tab_image(tab, QStringLiteral("3"))};
}

} // namespace

QSkinWidget::QSkinWidget(QWidget* parent) : QWidget(parent)
{
    logo_ = QPixmap(QStringLiteral(":/images/top/logo.png"));
    createButtons();
    createSettingsMenu();
    // The surface must be per-pixel alpha before the native window exists.
    setLayered();
    setWindowTitle(QStringLiteral("Quillmere"));
    frame_ = QPixmap(size());
    // Children that change without asking for a paint (progress, animation) show their new
    // look at the latest with the next periodic repaint.
    repaint_timer_.setInterval(400);
    connect(&repaint_timer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    repaint_timer_.start();
    setMouseTracking(true);
    const QPixmap top(top_band_image), left(left_side_image), right(right_side_image), bottom(bottom_band_image);
    setContentsMargins(left.width(), top.height(), right.width(), bottom.height());
    handler_ = new QSkinWidgetResizeHandler(this);
    frame_stale_ = true;
}

QSkinWidget::~QSkinWidget() = default;

void QSkinWidget::createButtons()
{
    struct spec_s {
        bool tab;
        std::array<QString, 3> images;
        QRect rect;
        skin_button::action_t action;
    };
    const spec_s specs[] = {
        {true, tab_images(QStringLiteral("1")), QRect(10, 25, 95, 70), &QSkinWidget::clickTab1},
        {true, tab_images(QStringLiteral("2")), QRect(113, 25, 95, 70), &QSkinWidget::clickTab2},
        {true, tab_images(QStringLiteral("3")), QRect(216, 25, 95, 70), &QSkinWidget::clickTab3},
        {false, system_images(QStringLiteral("quiButton")), QRect(1, 1, 30, 21), &QSkinWidget::on_click_close},
        {false, system_images(QStringLiteral("maxButton")), QRect(31, 1, 30, 21), &QSkinWidget::maximize},
        {false, system_images(QStringLiteral("minButton")), QRect(61, 1, 30, 21), &QSkinWidget::minimize},
        {false, system_images(QStringLiteral("settingButton")), QRect(91, 1, 30, 21), &QSkinWidget::openSettingsMenu},
    };
    for (const auto& spec : specs) {
        std::unique_ptr<skin_button> button;
        if (spec.tab)
            button = std::make_unique<top_button_c<QSkinWidget>>();
        else
            button = std::make_unique<system_button_c<QSkinWidget>>();
        button->setup(spec.images, spec.rect, QString());
        button->setAction(spec.action);
        button->setMirrored(isRightToLeft());
        buttons_.push_back(std::move(button));
    }
}

void QSkinWidget::createSettingsMenu()
{
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("menu_settings"));
    QMenu* languages = menu_->addMenu(tr("Language"));
    languages->setObjectName(QStringLiteral("menu_language"));
    // One tick, on the chosen language; choosing another moves it there.
    auto* choice = new QActionGroup(languages);
    // The language file's sections appear bottom-up.
    for (int index = static_cast<int>(language_names.size()) - 1; index >= 0; --index) {
        QAction* entry = languages->addAction(language_names[index]);
        entry->setData(index);
        entry->setCheckable(true);
        entry->setChecked(index == language_index);
        choice->addAction(entry);
        connect(entry, &QAction::triggered, this, &QSkinWidget::on_click_language);
    }
    menu_->addSeparator();
    connect(menu_->addAction(language_text("menu_help")), &QAction::triggered, this, &QSkinWidget::on_click_help);
    menu_->addSeparator();
    connect(menu_->addAction(language_text("menu_exit")), &QAction::triggered, this, &QSkinWidget::on_click_close);
}

bool QSkinWidget::hitsButton(const QPoint& point) const
{
    const QRect window = rect();
    for (const auto& button : buttons_)
        if (button->hitTest(point, window))
            return true;
    return false;
}

void QSkinWidget::mousePressEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (point.y() > drag_band_bottom) {
        handler_->setMoveActive(false);
        return;
    }
    const QRect window = rect();
    bool hit = false;
    for (const auto& button : buttons_) {
        if (!button->hitTest(point, window))
            continue;
        hit = true;
        handler_->setMoveActive(false);
        if (button->state() != skin_button::pressed) {
            button->setState(skin_button::pressed);
            update();
            return;
        }
    }
    handler_->setMoveActive(!hit);
}

void QSkinWidget::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    const QRect window = rect();
    // At most one button changes per move.
    for (const auto& button : buttons_) {
        const bool hit = button->hitTest(point, window);
        if (hit && button->state() == skin_button::normal) {
            button->setState(skin_button::hover);
            update();
            return;
        }
        if (!hit && button->state() != skin_button::normal) {
            button->setState(skin_button::normal);
            update();
            return;
        }
    }
}

void QSkinWidget::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    const QRect window = rect();
    // Only a button pressed and not left since fires; one merely hovered, or one the pointer
    // reached without a press on it, does not.
    for (const auto& button : buttons_) {
        if (!button->hitTest(point, window) || button->state() != skin_button::pressed)
            continue;
        button->setState(skin_button::hover);
        update();
        button->trigger(*this);
        event->accept();
        return;
    }
}

void QSkinWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (point.y() > drag_band_bottom || hitsButton(point))
        return;
    buttons_[maximize_button]->trigger(*this);
}

void QSkinWidget::maximize()
{
    auto& button = *buttons_[maximize_button];
    button.setImages(system_images(QStringLiteral("resumeButton")));
    button.setAction(&QSkinWidget::restore);
    saved_geometry_ = geometry();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry());
    normal_ = false;
}

void QSkinWidget::restore()
{
    auto& button = *buttons_[maximize_button];
    button.setImages(system_images(QStringLiteral("maxButton")));
    button.setAction(&QSkinWidget::maximize);
    setGeometry(saved_geometry_);
    normal_ = true;
}

void QSkinWidget::minimize()
{
    for (const auto& button : buttons_)
        button->setState(skin_button::normal);
    showMinimized();
}

void QSkinWidget::openSettingsMenu()
{
    menu_->exec(QCursor::pos());
}

void QSkinWidget::setLayered()
{
    set_layered(this);
}

void QSkinWidget::updateStyle()
{
    const QPixmap top(top_band_image), left(left_side_image), right(right_side_image), bottom(bottom_band_image);
    const int w = width();
    const int h = height();
    frame_ = QPixmap(size());
    frame_.fill(Qt::transparent);
    QPainter painter(&frame_);
    const int top_h = top.height();
    painter.drawPixmap(w - 64, 0, 64, top_h, top, top.width() - 64, 0, 64, top_h);
    painter.drawPixmap(0, 0, 64, top_h, top, 0, 0, 64, top_h);
    painter.drawPixmap(64, 0, w - 128, top_h, top, 64, 0, top.width() - 128, top_h);

    const int bottom_y = h - bottom.height();
    const int bottom_h = bottom.height();
    painter.drawPixmap(left.width(), bottom_y, w - left.width() - right.width(), bottom_h, bottom, left.width(), 0,
                       bottom.width() - left.width() - right.width(), bottom_h);
    painter.drawPixmap(0, bottom_y, left.width(), bottom_h, bottom, 0, 0, left.width(), bottom_h);
    painter.drawPixmap(w - right.width(), bottom_y, right.width(), bottom_h, bottom, bottom.width() - right.width(), 0,
                       right.width(), bottom_h);

    const int side_h = h - top_h - bottom_h;
    painter.drawPixmap(w - right.width(), top_h, right.width(), side_h, right);
    painter.drawPixmap(0, top_h, left.width(), side_h, left);

    // Right to left, the logo and the title trade corners as the buttons do.
    const QFont title_font(QStringLiteral("Comic Sans MS"));
    const int title_x = isRightToLeft() ? w - 10 - QFontMetrics(title_font).horizontalAdvance(windowTitle()) : 10;
    painter.drawPixmap(isRightToLeft() ? 120 - logo_.width() : w - 120, 24, logo_);
    painter.setFont(title_font);
    painter.setPen(Qt::white);
    painter.drawText(title_x, 20, windowTitle());
    frame_stale_ = false;
}

void QSkinWidget::updateAlpha()
{
    // The face can reach the screen only from within a paint; elsewhere ask for one.
    if (!painting_) {
        update();
        return;
    }
    present_layered(this, frame_);
}

void QSkinWidget::drawButtons()
{
    QPainter painter(this);
    const QRect window = rect();
    for (const auto& button : buttons_)
        button->draw(painter, window);
}

void QSkinWidget::paintEvent(QPaintEvent*)
{
    // The frame is drawn only when stale; the pages paint themselves over it as child widgets.
    if (frame_stale_)
        updateStyle();
    painting_ = true;
    updateAlpha();
    painting_ = false;
    drawButtons();
}

void QSkinWidget::resizeEvent(QResizeEvent*)
{
    frame_stale_ = true;
}

void QSkinWidget::closeEvent(QCloseEvent* event)
{
    emit aboutToClose();
    event->accept();
}

} // namespace tarn
