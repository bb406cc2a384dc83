// The file table: its model under the model tester, sorting through real clicks on the
// headings, the check-all box, keyboard moves acting as clicks, and the painted cells.

#include "recovery/recovery_delegate.h"
#include "tests/recovery/file_table_fixture.h"
#include "settings/language.h"

#include <QAbstractItemModelTester>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <ctime>
#include <limits>

using namespace tarn;

namespace {

recovery_item_s item(const char* name, std::uint64_t size, std::int64_t modified, std::int64_t created)
{
    recovery_item_s r;
    r.name = QString::fromUtf8(name);
    r.size = size;
    r.modified = modified;
    r.created = created;
    r.id = size;
    return r;
}

QStringList names(const recovery_rows& rows)
{
    QStringList out;
    for (const recovery_item_s& r : rows)
        out << r.name;
    return out;
}

} // namespace

class file_table_test : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void the_model_hands_out_whole_records();
    void headings_sort_each_column_ascending_first();
    void header_regions_and_their_boundaries();
    void the_check_all_box_flips_and_is_painted();
    void keyboard_moves_act_as_clicks();
    void dates_the_conversion_rejects_stay_empty();
    void cells_are_painted_banded_and_selected();
};

void file_table_test::initTestCase()
{
    qputenv("TZ", "UTC");
    tzset();
    language_text("recovery_name") = QStringLiteral("Name");
    language_text("drive_size") = QStringLiteral("Size");
    language_text("recovery_date1") = QStringLiteral("Modified");
    language_text("recovery_date2") = QStringLiteral("Created");
}

void file_table_test::the_model_hands_out_whole_records()
{
    recovery_rows rows = {item("b.txt", 10, 1, 2), item("a.txt", 20, 3, 4)};
    recovery_model_c model(&rows);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 5);
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);
    const QVariant cell = model.index(1, 3).data();
    QCOMPARE(cell.metaType(), QMetaType::fromName("recovery_item_s"));
    QCOMPARE(cell.value<recovery_item_s>().name, QString("a.txt"));
    QCOMPARE(cell.value<recovery_item_s>().created, std::int64_t(4));
    QVERIFY(!model.index(0, 1).data(Qt::EditRole).isValid());
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QString("checkbox"));
    QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), QString("Modified"));
    QVERIFY(!model.headerData(5, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(1, Qt::Vertical).isValid());

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.set_checked(1, true);
    QVERIFY(rows[1].checked);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed[0][0].toModelIndex(), model.index(1, 0));
    model.set_checked(7, true); // beyond the list: nothing
    QCOMPARE(changed.size(), 1);
}

void file_table_test::headings_sort_each_column_ascending_first()
{
    const std::uint64_t four_gib = 1ull << 32;
    test::file_table_s table({item("b", four_gib + 5, 30, -1), item("a", 7, 10, 300), item("B", four_gib, 20, 100),
                   item("\xC3\xA4", 0, 40, 200)});
    QAbstractItemModelTester tester(table.model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    const int size_x = 33 + 235 + 50, modified_x = size_x + 100, name_x = 100;
    table.click_header(size_x);
    QCOMPARE(names(table.rows), QStringList({"ä", "a", "B", "b"})); // unsigned 64-bit sizes
    table.click_header(size_x);
    QCOMPARE(names(table.rows), QStringList({"b", "B", "a", "ä"}));
    table.click_header(modified_x); // a new column starts ascending
    QCOMPARE(names(table.rows), QStringList({"a", "B", "b", "ä"}));
    table.click_header(name_x); // UTF-16 code units, upper case first
    QCOMPARE(names(table.rows), QStringList({"B", "a", "b", "ä"}));
    table.click_header(size_x + 200); // created, signed
    QCOMPARE(names(table.rows), QStringList({"b", "B", "ä", "a"}));
    QCOMPARE(table.view.model()->index(0, 1).data().value<recovery_item_s>().name, QString("b"));

    table.replace_model(); // a new model starts every column at ascending again
    table.click_header(size_x);
    QCOMPARE(names(table.rows), QStringList({"ä", "a", "B", "b"}));

    table.rows.clear();
    table.replace_model();
    table.click_header(size_x); // an empty folder sorts to nothing
    QCOMPARE(table.model->rowCount(), 0);
}

void file_table_test::header_regions_and_their_boundaries()
{
    test::file_table_s table({item("a", 1, 1, 1)});
    QSignalSpy sorts(table.header, &MyHeaderView::sort_column);
    QSignalSpy checks(table.header, &MyHeaderView::check_all);
    const int b1 = 33 + 235, b2 = b1 + 100, b3 = b2 + 100, end = b3 + 100;
    const struct {
        int x;
        int sort; // -1: none
        bool check;
    } clicks[] = {{0, -1, true},       {33, -1, true},      {34, 1, false},  {b1 - 1, 1, false},
                  {b1, -1, false},     {b1 + 1, 2, false},  {b2, -1, false}, {b2 + 1, 3, false},
                  {b3, -1, false},     {b3 + 1, 4, false},  {end - 1, 4, false}, {end + 20, -1, false}};
    for (const auto& c : clicks) {
        sorts.clear();
        checks.clear();
        table.click_header(c.x);
        QVERIFY2(sorts.size() == (c.sort < 0 ? 0 : 1), qPrintable(QString::number(c.x)));
        if (c.sort >= 0)
            QCOMPARE(sorts[0][0].toInt(), c.sort);
        QCOMPARE(checks.size(), c.check ? 1 : 0);
    }
    QCOMPARE(table.header->sizeHint().height(), 24);
    QCOMPARE(table.header->sectionSize(0), 33);
}

void file_table_test::the_check_all_box_flips_and_is_painted()
{
    test::file_table_s table({item("a", 1, 1, 1)});
    QSignalSpy checks(table.header, &MyHeaderView::check_all);
    const QPixmap on(QStringLiteral(":/images/partition_search/check2.png"));
    const QPixmap off(QStringLiteral(":/images/partition_search/check1.png"));
    QVERIFY(!on.isNull() && !off.isNull());
    // What the box region must look like: the image on the heading colour.
    auto expected = [](const QPixmap& box) {
        QImage image(box.width(), box.width(), QImage::Format_RGB32);
        image.fill(QColor(232, 246, 255));
        QPainter painter(&image);
        painter.drawPixmap(image.rect(), box);
        return image;
    };
    auto painted_box = [&] {
        return table.header->grab().toImage().copy(10, 5, on.width(), on.width()).convertToFormat(QImage::Format_RGB32);
    };
    QCOMPARE(painted_box(), expected(off));
    table.click_header(10);
    QCOMPARE(checks.size(), 1);
    QCOMPARE(checks[0][0].toBool(), true);
    QVERIFY(table.header->check_all_state());
    QCOMPARE(painted_box(), expected(on));
    table.click_header(10);
    QCOMPARE(checks[1][0].toBool(), false);
    table.click_header(10);
    // Listing another folder clears the box, whatever that folder's marks are.
    table.header->set_check_all_state(false);
    QCOMPARE(painted_box(), expected(off));
    const QImage heading = table.header->grab().toImage();
    QCOMPARE(heading.pixelColor(200, 20), QColor(232, 246, 255));
}

void file_table_test::keyboard_moves_act_as_clicks()
{
    test::file_table_s table({item("a", 1, 1, 1), item("b", 2, 2, 2), item("c", 3, 3, 3)});
    QSignalSpy clicked(&table.view, &QAbstractItemView::clicked);
    table.view.setFocus();
    table.view.setCurrentIndex(table.model->index(0, 1));
    QTest::keyClick(&table.view, Qt::Key_Down);
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked[0][0].toModelIndex(), table.model->index(1, 1));
    QTest::keyClick(&table.view, Qt::Key_Left); // same row: no click
    QCOMPARE(clicked.size(), 1);
    QTest::keyClick(&table.view, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(clicked.size(), 2);
    QCOMPARE(clicked[1][0].toModelIndex().row(), 2);
    QTest::keyClick(&table.view, Qt::Key_Down); // already on the last row
    QCOMPARE(clicked.size(), 2);
}

void file_table_test::dates_the_conversion_rejects_stay_empty()
{
    QCOMPARE(local_date_text(0), QString("1970-01-01"));
    QCOMPARE(local_date_text(1705312800), QString("2024-01-15"));
    QCOMPARE(local_date_text(-86400), QString("1969-12-31"));
    QCOMPARE(local_date_text(std::numeric_limits<std::int64_t>::max()), QString());
    QCOMPARE(local_date_text(std::numeric_limits<std::int64_t>::min()), QString());
}

void file_table_test::cells_are_painted_banded_and_selected()
{
    test::file_table_s table({item("a", 1, 1, 1), item("b", 2, 2, 2), item("c", std::numeric_limits<std::uint64_t>::max(),
                                                                    std::numeric_limits<std::int64_t>::max(), 0)});
    const int row_h = table.view.rowHeight(0);
    const int x = 33 + 200; // inside the name column, right of the short names
    QImage shot = table.view.viewport()->grab().toImage();
    QCOMPARE(shot.pixelColor(x, row_h / 2), QColor(241, 250, 255));
    QVERIFY(shot.pixelColor(x, row_h + row_h / 2) != QColor(241, 250, 255));
    QTest::mouseClick(table.view.viewport(), Qt::LeftButton, {}, QPoint(x, row_h + row_h / 2));
    shot = table.view.viewport()->grab().toImage();
    QCOMPARE(shot.pixelColor(x, row_h + row_h / 2), QColor(81, 149, 206));
    QCOMPARE(shot.pixelColor(x, row_h / 2), QColor(241, 250, 255));
}

QTEST_MAIN(file_table_test)
#include "file_table_test.moc"
