#include "tests/recovery/file_table_fixture.h"

#include "recovery/recovery_delegate.h"

#include <QTest>

namespace tarn::test {

file_table_s::file_table_s(recovery_rows initial) : rows(std::move(initial)), header(new MyHeaderView(&view))
{
    view.setHorizontalHeader(header);
    view.setItemDelegate(new recovery_delegate_c(&view));
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    view.verticalHeader()->hide();
    replace_model();
    header->resizeSection(column_check, 33);
    header->resizeSection(column_name, 235);
    for (int section = column_size; section < column_count; ++section)
        header->resizeSection(section, 100);
    QObject::connect(header, &MyHeaderView::sort_column, [this](int column) { model->sort_by_column(column); });
    QObject::connect(header, &MyHeaderView::check_all, [this](bool state) {
        for (recovery_item_s& r : rows)
            r.checked = state;
        replace_model();
    });
    view.resize(700, 300);
    view.show();
}

void file_table_s::replace_model()
{
    auto next = std::make_unique<recovery_model_c>(&rows);
    view.setModel(next.get());
    model = std::move(next);
}

void file_table_s::click_header(int x)
{
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, 10));
}

} // namespace tarn::test
