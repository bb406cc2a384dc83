#include "tests/pages/page_driver.h"

#include "common/app_state.h"
#include "recovery/recovery_status.h"
#include "scan/recovery_item.h"
#include "settings/language.h"
#include "tests/pages/text_recorder.h"

#include <QListView>
#include <QPushButton>
#include <QTest>

#include <vector>

namespace tarn::test {

page_driver::page_driver(const QString& language_file, const QString& section)
    : fixture_(std::make_unique<shell_fixture>())
{
    if (!language_file.isEmpty())
        load_language_file(language_file, section, true);
    else
        for (const char* key : {"btn_start", "btn_pause", "btn_resume", "btn_stop", "btn_recovery", "btn_back",
                                "btn_save_result", "recovery_name", "drive_size", "recovery_date1", "recovery_date2"})
            language_text(key) = QString::fromLatin1(key).mid(QString::fromLatin1(key).indexOf('_') + 1);
    init_done = 1;
    scan_running = false;
    window_ = std::make_unique<main_window_c>();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    window_->on_init_finished();
    window_->showPage(main_window_c::volume_page);
}

page_driver::~page_driver()
{
    window_.reset();
    fixture_.reset();
    scan_running = false;
    init_done = 0;
}

recovery_window_c* page_driver::recovery() const
{
    return static_cast<recovery_window_c*>(window_->page(main_window_c::recovery_page));
}

QPushButton* page_driver::button(const char* name) const
{
    return window_->currentPage()->findChild<QPushButton*>(QString::fromLatin1(name));
}

QTreeView* page_driver::tree() const
{
    return recovery()->findChild<QTreeView*>(QStringLiteral("tv_dirtree"));
}

QTableView* page_driver::table() const
{
    for (QTableView* view : recovery()->findChildren<QTableView*>())
        return view;
    return nullptr;
}

void page_driver::click_scan()
{
    auto* list = window_->page(main_window_c::volume_page)->findChild<QListView*>(QStringLiteral("lv_volumes"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
    QTest::mouseClick(button("btn_scan"), Qt::LeftButton);
}

bool page_driver::wait_for_scan_end()
{
    // A bound only against a hang: the scan of a small image ends long before.
    for (int i = 0; i < 6000 && scan_running; ++i)
        QTest::qWait(10);
    return !scan_running;
}

bool page_driver::scan_to_end()
{
    click_scan();
    return wait_for_scan_end();
}

QModelIndex page_driver::folder(const QString& name) const
{
    const QAbstractItemModel* model = tree()->model();
    std::vector<QModelIndex> pending{model->index(0, 0)};
    while (!pending.empty()) {
        const QModelIndex at = pending.back();
        pending.pop_back();
        for (int r = 0; r < model->rowCount(at); ++r) {
            const QModelIndex child = model->index(r, 0, at);
            if (child.data().toString() == name)
                return child;
            pending.push_back(child);
        }
    }
    return {};
}

void page_driver::click_folder(const QString& name)
{
    const QModelIndex index = folder(name);
    QVERIFY2(index.isValid(), qPrintable(name));
    tree()->expand(index.parent());
    tree()->scrollTo(index);
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualRect(index).center());
}

int page_driver::row_of(const QString& name) const
{
    const QAbstractItemModel* model = table()->model();
    for (int r = 0; r < model->rowCount(); ++r)
        if (model->index(r, 0).data().value<recovery_item_s>().name == name)
            return r;
    return -1;
}

void page_driver::click_cell(int row, int column)
{
    const QModelIndex index = table()->model()->index(row, column);
    table()->scrollTo(index);
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, table()->visualRect(index).center());
}

QStringList page_driver::painted_texts() const
{
    text_recorder_c recorder;
    recovery()->render(&recorder);
    return recorder.texts;
}

bool page_driver::preview_is_white()
{
    const QImage face = recovery()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect inside = preview_box(recovery()->width(), recovery()->height()).adjusted(2, 2, -2, -2);
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (face.pixel(x, y) != qRgb(255, 255, 255))
                return false;
    return true;
}

} // namespace tarn::test
