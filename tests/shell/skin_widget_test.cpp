// The skinned frame under real mouse events: dragging by the title band, the painted buttons'
// press, hover and release rules, maximize and restore, edge resizing and the frame image.

#include "tests/shell/shell_fixture.h"
#include "ui/skin_widget.h"
#include "ui/skin_widget_resize_handler.h"

#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace tarn;

namespace {

// The frame alone, with every operation the frame calls counted.
class skin_probe_c : public QSkinWidget {
public:
    std::vector<int> tabs;
    int closes = 0;

    void showPage(int) override {}
    void resetScan() override {}
    void on_click_close() override { ++closes; }
    void on_click_help() override {}
    void on_click_language() override {}

protected:
    void on_click_tab(int tab) override { tabs.push_back(tab); }
};

// x of a point on a system button whose place starts `from` pixels left of the right edge.
int system_x(const QWidget& w, int from)
{
    return w.width() - 1 - from;
}

} // namespace

class skin_widget_test : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void only_a_press_in_the_band_off_the_buttons_drags();
    void release_fires_only_a_button_pressed_and_not_left();
    void double_click_maximizes_only_off_the_buttons();
    void close_button_is_mirrored_from_the_right_edge();
    void maximize_then_restore_gives_back_the_exact_geometry();
    void minimize_resets_every_button();
    void edges_resize_with_the_matching_cursor();
    void frame_is_rebuilt_after_a_resize();
    void settings_button_opens_the_menu_with_languages_bottom_up();
    void right_to_left_puts_the_tabs_right_and_the_system_buttons_left();

private:
    std::unique_ptr<test::shell_fixture> fixture_;
    std::unique_ptr<skin_probe_c> window_;
};

void skin_widget_test::init()
{
    fixture_ = std::make_unique<test::shell_fixture>();
    window_ = std::make_unique<skin_probe_c>();
    window_->setGeometry(40, 30, 800, 600);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void skin_widget_test::cleanup()
{
    window_.reset();
    fixture_.reset();
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
}

void skin_widget_test::only_a_press_in_the_band_off_the_buttons_drags()
{
    auto& w = *window_;
    const QPoint start = w.pos();
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(400, 100));
    QVERIFY(w.resizeHandler()->isMoveActive());
    QTest::mouseMove(&w, QPoint(450, 130));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(450, 130));
    QCOMPARE(w.pos(), start + QPoint(50, 30));

    const QPoint moved = w.pos();
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(400, 101));
    QVERIFY(!w.resizeHandler()->isMoveActive());
    QTest::mouseMove(&w, QPoint(450, 131));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(450, 131));
    QCOMPARE(w.pos(), moved);

    // On a tab and on the settings button.
    for (const QPoint on_button : {QPoint(50, 50), QPoint(system_x(w, 100), 10)}) {
        QTest::mousePress(&w, Qt::LeftButton, {}, on_button);
        QVERIFY(!w.resizeHandler()->isMoveActive());
        QTest::mouseMove(&w, on_button + QPoint(200, 40));
        QTest::mouseRelease(&w, Qt::LeftButton, {}, on_button + QPoint(200, 40));
        QCOMPARE(w.pos(), moved);
    }
    QVERIFY(w.tabs.empty());
}

void skin_widget_test::release_fires_only_a_button_pressed_and_not_left()
{
    auto& w = *window_;
    const QPoint tab(50, 50), band(400, 60);
    // Press, leave, release outside.
    QTest::mousePress(&w, Qt::LeftButton, {}, tab);
    QCOMPARE(w.button(QSkinWidget::tab1).state(), 2);
    QTest::mouseMove(&w, band);
    QCOMPARE(w.button(QSkinWidget::tab1).state(), 0);
    QTest::mouseRelease(&w, Qt::LeftButton, {}, band);
    // Press, leave, come back, release on it.
    QTest::mousePress(&w, Qt::LeftButton, {}, tab);
    QTest::mouseMove(&w, band);
    QTest::mouseMove(&w, tab);
    QCOMPARE(w.button(QSkinWidget::tab1).state(), 1);
    QTest::mouseRelease(&w, Qt::LeftButton, {}, tab);
    // Press outside, move onto it, release.
    QTest::mousePress(&w, Qt::LeftButton, {}, band);
    QTest::mouseMove(&w, tab + QPoint(1, 0));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, tab + QPoint(1, 0));
    // Press outside, release on it with no move between.
    QTest::mousePress(&w, Qt::LeftButton, {}, band);
    QTest::mouseRelease(&w, Qt::LeftButton, {}, tab);
    QVERIFY(w.tabs.empty());

    QTest::mouseMove(&w, QPoint(150, 60));
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(150, 60));
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(311, 94)); // one past tab 3's right edge
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(310, 94));
    QCOMPARE(w.tabs, (std::vector<int>{2, 3}));
    QCOMPARE(w.button(QSkinWidget::tab3).state(), 1);
}

void skin_widget_test::double_click_maximizes_only_off_the_buttons()
{
    auto& w = *window_;
    QTest::mouseDClick(&w, Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(50, 50));
    QVERIFY(w.isNormalSize());
    QTest::mouseDClick(&w, Qt::LeftButton, {}, QPoint(400, 101));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(400, 101));
    QVERIFY(w.isNormalSize());
    QTest::mouseDClick(&w, Qt::LeftButton, {}, QPoint(400, 100));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(400, 100));
    QVERIFY(!w.isNormalSize());
    QCOMPARE(w.geometry(), QGuiApplication::primaryScreen()->availableGeometry());
}

void skin_widget_test::close_button_is_mirrored_from_the_right_edge()
{
    auto& w = *window_;
    const auto& close = w.button(QSkinWidget::close_button);
    const QRect r = w.rect();
    QVERIFY(close.hitTest(QPoint(w.width() - 2, 1), r));  // mirrored x = 1
    QVERIFY(close.hitTest(QPoint(w.width() - 31, 21), r)); // mirrored x = 30
    QVERIFY(!close.hitTest(QPoint(w.width() - 1, 10), r));
    QVERIFY(!close.hitTest(QPoint(w.width() - 32, 10), r));
    QVERIFY(!close.hitTest(QPoint(w.width() - 10, 22), r));

    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(w.width() - 2, 10));
    QCOMPARE(w.closes, 1);
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(w.width() - 1, 10));
    QCOMPARE(w.closes, 1);
    QVERIFY(w.isNormalSize());
    // One pixel further left is the maximize button.
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(w.width() - 32, 10));
    QCOMPARE(w.closes, 1);
    QVERIFY(!w.isNormalSize());
}

void skin_widget_test::maximize_then_restore_gives_back_the_exact_geometry()
{
    auto& w = *window_;
    const QRect before(123, 77, 850, 640);
    w.setGeometry(before);
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(system_x(w, 40), 10));
    QVERIFY(!w.isNormalSize());
    QCOMPARE(w.geometry(), QGuiApplication::primaryScreen()->availableGeometry());
    QVERIFY(!w.isMaximized());
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(system_x(w, 40), 10));
    QVERIFY(w.isNormalSize());
    QCOMPARE(w.geometry(), before);
}

void skin_widget_test::minimize_resets_every_button()
{
    auto& w = *window_;
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(400, 60));
    // At most one button changes per move: first tab 1 lets go, then tab 2 lights up.
    QTest::mouseMove(&w, QPoint(150, 50));
    QCOMPARE(w.button(QSkinWidget::tab1).state(), 0);
    QCOMPARE(w.button(QSkinWidget::tab2).state(), 0);
    QTest::mouseMove(&w, QPoint(151, 50));
    QCOMPARE(w.button(QSkinWidget::tab2).state(), 1);
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(system_x(w, 70), 10));
    QVERIFY(w.isMinimized());
    for (int b = QSkinWidget::tab1; b <= QSkinWidget::settings_button; ++b)
        QCOMPARE(w.button(static_cast<QSkinWidget::button_e>(b)).state(), 0);
}

void skin_widget_test::edges_resize_with_the_matching_cursor()
{
    auto& w = *window_;
    w.setMinimumSize(700, 500);
    QTest::mouseMove(&w, QPoint(w.width() - 2, 300));
    QCOMPARE(w.cursor().shape(), Qt::SizeHorCursor);
    QTest::mouseMove(&w, QPoint(w.width() - 2, w.height() - 2));
    QCOMPARE(w.cursor().shape(), Qt::SizeFDiagCursor);
    QTest::mouseMove(&w, QPoint(1, w.height() - 1));
    QCOMPARE(w.cursor().shape(), Qt::SizeBDiagCursor);
    // The close button reaches into the right edge; it is a button there, not an edge.
    QTest::mouseMove(&w, QPoint(w.width() - 2, 10));
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);

    const QRect before = w.geometry();
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(w.width() - 2, 300));
    QTest::mouseMove(&w, QPoint(w.width() + 38, 300));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(w.width(), 300));
    QCOMPARE(w.geometry(), before.adjusted(0, 0, 40, 0));

    // Dragging the left edge far to the right stops at the minimum width.
    const QRect wide = w.geometry();
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(1, 300));
    QTest::mouseMove(&w, QPoint(500, 300));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(500, 300));
    QCOMPARE(w.geometry(), QRect(wide.right() + 1 - 700, wide.top(), 700, wide.height()));
    QCOMPARE(w.closes, 0);
}

void skin_widget_test::frame_is_rebuilt_after_a_resize()
{
    auto& w = *window_;
    QTRY_VERIFY(!w.frameStale());
    QCOMPARE(w.frameImage().size(), w.size());
    w.resize(900, 700);
    QVERIFY(w.frameStale());
    w.repaint();
    QVERIFY(!w.frameStale());
    QCOMPARE(w.frameImage().size(), QSize(900, 700));
    // The border follows the new size; inside it the face stays transparent for the pages.
    const QImage face = w.frameImage().toImage();
    QVERIFY(face.pixelColor(450, 50).alpha() > 0);
    QVERIFY(face.pixelColor(899, 400).alpha() > 0);
    QVERIFY(face.pixelColor(450, 699).alpha() > 0);
    QCOMPARE(face.pixelColor(450, 400).alpha(), 0);
    QCOMPARE(w.contentsMargins(), QMargins(3, 100, 3, 4));
}

void skin_widget_test::settings_button_opens_the_menu_with_languages_bottom_up()
{
    auto& w = *window_;
    QMenu* shown = nullptr;
    QTimer::singleShot(0, [&] {
        shown = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (shown)
            shown->close();
    });
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(system_x(w, 100), 10));
    QCOMPARE(shown, w.settingsMenu());

    const auto entries = w.settingsMenu()->actions();
    QCOMPARE(entries.size(), 5);
    QCOMPARE(entries[0]->text(), QStringLiteral("Language"));
    QVERIFY(entries[1]->isSeparator() && entries[3]->isSeparator());
    QCOMPARE(entries[2]->text(), QStringLiteral("Help"));
    QCOMPARE(entries[4]->text(), QStringLiteral("Exit"));
    QStringList names;
    QList<int> data;
    QList<bool> ticked;
    for (const QAction* language : entries[0]->menu()->actions()) {
        names << language->text();
        data << language->data().toInt();
        ticked << language->isChecked();
    }
    QCOMPARE(names, (QStringList{QStringLiteral("简体中文"), QStringLiteral("Deutsch"), QStringLiteral("English")}));
    QCOMPARE(data, (QList<int>{2, 1, 0}));
    QCOMPARE(ticked, (QList<bool>{false, false, true}));
    entries[4]->trigger();
    QCOMPARE(w.closes, 1);
}

void skin_widget_test::right_to_left_puts_the_tabs_right_and_the_system_buttons_left()
{
    // The direction is the application's for the whole run: cleanup() sets it back.
    QGuiApplication::setLayoutDirection(Qt::RightToLeft);
    skin_probe_c w;
    w.setGeometry(40, 30, 800, 600);
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(w.width() - 1 - 50, 60));
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(w.width() - 1 - 10, 10)); // where close was
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(w.tabs, std::vector<int>{1});
    QCOMPARE(w.closes, 1);
    // Tab 1 is drawn where it is hit: its icon 57 pixels in from the right edge, not the left.
    QImage drawn(w.size(), QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    QPainter painter(&drawn);
    w.button(QSkinWidget::tab1).draw(painter, w.rect());
    painter.end();
    QVERIFY(qAlpha(drawn.pixel(w.width() - 1 - 57, 48)) > 0);
    QCOMPARE(qAlpha(drawn.pixel(57, 48)), 0);
}

QTEST_MAIN(skin_widget_test)
#include "skin_widget_test.moc"
