// The drive and partition lists' models and row painting, and the painted progress bar: rows
// are rendered into images and sampled.

#include "disk/drive_delegate.h"
#include "disk/drive_model.h"
#include "partition/partition_delegate.h"
#include "partition/partition_model.h"
#include "tests/pages/text_recorder.h"
#include "settings/language.h"
#include "widgets/progress_bar.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QTest>

using namespace tarn;

namespace {

constexpr int row_width = 400;

const QColor white(255, 255, 255);
const QColor tint(241, 250, 255);
const QColor selected(81, 149, 206);
const QColor header(232, 246, 255);
const QColor separator(211, 231, 255);

// Rows 0..count-1 of model painted one under the other on white, `selected_row` as selected.
QImage paint_rows(const QAbstractItemModel& model, const QStyledItemDelegate& delegate, int selected_row)
{
    QImage image(row_width, 30 * model.rowCount(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int row = 0; row < model.rowCount(); ++row) {
        QStyleOptionViewItem option;
        option.rect = QRect(0, 30 * row, row_width, 30);
        option.state = QStyle::State_Enabled;
        if (row == selected_row)
            option.state |= QStyle::State_Selected;
        delegate.paint(&painter, option, model.index(row, 0));
    }
    return image;
}

QColor at(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y);
}

std::vector<drive_item_s> four_drives()
{
    std::vector<drive_item_s> drives(1);
    for (int n = 0; n < 3; ++n)
        drives.push_back({QStringLiteral("/tmp/disk%1.img").arg(n), 1'073'741'824ull * (n + 1),
                          disk_geometry_s{}});
    return drives;
}

} // namespace

class page_painting_test : public QObject {
    Q_OBJECT

private slots:
    void drive_model_refers_to_the_list();
    void partition_model_refers_to_the_list();
    void drive_rows_header_tint_and_selection();
    void partition_rows_tint_and_selection();
    void delegates_leave_other_values_to_the_default_painting();
    void progress_bar_fills_half_at_one_half();
};

void page_painting_test::drive_model_refers_to_the_list()
{
    auto drives = four_drives();
    drive_model_c model(drives);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(model.rowCount(model.index(1, 0)), 0);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 377, 12);
    QCOMPARE(drive_delegate_c().sizeHint(option, model.index(1, 0)), QSize(377, 30));
    QCOMPARE(partition_delegate_c().sizeHint(option, model.index(1, 0)), QSize(377, 30));
    const QVariant head = model.index(0, 0).data();
    QVERIFY(head.canConvert<drive_item_s>());
    QVERIFY(head.value<drive_item_s>().path.isEmpty());
    QCOMPARE(model.index(2, 0).data().value<drive_item_s>().path, QStringLiteral("/tmp/disk1.img"));
    QVERIFY(!model.index(2, 0).data(Qt::DecorationRole).isValid());
    QVERIFY(!model.index(2, 0).data(Qt::ToolTipRole).isValid());
    // No copy: a change to the list shows through.
    drives[1].path = QStringLiteral("/dev/sdz");
    QCOMPARE(model.index(1, 0).data().value<drive_item_s>().path, QStringLiteral("/dev/sdz"));
}

void page_painting_test::partition_model_refers_to_the_list()
{
    std::vector<partition_item_s> partitions;
    partition_model_c empty(partitions);
    QAbstractItemModelTester empty_tester(&empty, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(empty.rowCount(), 0);

    partitions = {{QStringLiteral("NTFS"), 7, 2048, 18431, {}}, {QStringLiteral("FAT32"), 12, 18432, 100331, {}}};
    partition_model_c model(partitions);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.index(1, 0).data().value<partition_item_s>(), partitions[1]);
    QVERIFY(!model.index(0, 0).data(Qt::EditRole).isValid());
}

void page_painting_test::drive_rows_header_tint_and_selection()
{
    language_text("drive_physical_drives") = QStringLiteral("Physical drives");
    const auto drives = four_drives();
    drive_model_c model(drives);
    drive_delegate_c delegate;
    const QImage image = paint_rows(model, delegate, 3);
    // Header: its own ground, lines at half and 0.85 of the width, through the whole row.
    QCOMPARE(at(image, 5, 2), header);
    QCOMPARE(at(image, 200, 1), separator);
    QCOMPARE(at(image, 200, 28), separator);
    QCOMPARE(at(image, 340, 2), separator);
    QCOMPARE(at(image, 198, 2), header);
    // Disk rows 1 and 3 plain, 2 tinted; 3 is selected. No lines outside the header.
    QCOMPARE(at(image, 5, 30 + 3), white);
    QCOMPARE(at(image, 200, 30 + 3), white);
    QCOMPARE(at(image, 5, 60 + 3), tint);
    QCOMPARE(at(image, 5, 90 + 3), selected);

    test::text_recorder_c recorder;
    {
        QPainter painter(&recorder);
        QStyleOptionViewItem option;
        for (int row : {0, 2}) {
            option.rect = QRect(0, 30 * row, row_width, 30);
            delegate.paint(&painter, option, model.index(row, 0));
        }
    }
    QCOMPARE(recorder.texts, (QStringList{QStringLiteral("Physical drives"), QStringLiteral("Size"), QStringLiteral("Number"),
                                                  QStringLiteral("/tmp/disk1.img"), QStringLiteral("2.00G"),
                                                  QStringLiteral("2")}));
}

void page_painting_test::partition_rows_tint_and_selection()
{
    const std::vector<partition_item_s> partitions{{QStringLiteral("NTFS"), 7, 2048, 206847, {}},
                                                   {QStringLiteral("FAT32"), 12, 206848, 411647, {}},
                                                   {QStringLiteral("NTFS"), 7, 5'000'000'000ull, 5'000'002'048ull, {}}};
    partition_model_c model(partitions);
    partition_delegate_c delegate;
    const QImage image = paint_rows(model, delegate, 1);
    QCOMPARE(at(image, 5, 3), tint);
    QCOMPARE(at(image, 5, 30 + 3), selected);
    QCOMPARE(at(image, 5, 60 + 3), tint);

    test::text_recorder_c recorder;
    {
        QPainter painter(&recorder);
        QStyleOptionViewItem option;
        option.rect = QRect(0, 60, row_width, 30);
        delegate.paint(&painter, option, model.index(2, 0));
    }
    QCOMPARE(recorder.texts, (QStringList{QStringLiteral("2"), QStringLiteral("NTFS"), QStringLiteral("5000000000"),
                                          QStringLiteral("5000002048"), QStringLiteral("1.00M")}));
}

void page_painting_test::delegates_leave_other_values_to_the_default_painting()
{
    QStandardItemModel model;
    model.appendRow(new QStandardItem(QStringLiteral("plain text")));
    for (const QStyledItemDelegate* delegate :
         std::initializer_list<const QStyledItemDelegate*>{new drive_delegate_c, new partition_delegate_c}) {
        test::text_recorder_c recorder;
        {
            QPainter painter(&recorder);
            QStyleOptionViewItem option;
            option.rect = QRect(0, 0, row_width, 30);
            option.state = QStyle::State_Enabled;
            delegate->paint(&painter, option, model.index(0, 0));
        }
        QCOMPARE(recorder.texts, QStringList{QStringLiteral("plain text")});
        delete delegate;
    }
}

void page_painting_test::progress_bar_fills_half_at_one_half()
{
    progress_bar_c bar;
    const QColor background(226, 240, 253);
    bar.prepare(QStringLiteral(":/images/partition_search/loding_on.png"), background);
    QCOMPARE(bar.value, 0.0);
    bar.value = 0.5;
    const QRect rect(10, 4, 201, 12);
    QImage image(240, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        bar.paint(&painter, rect);
    }
    // Left edge 10, right edge 210: the fill covers x 10..109, half of the 200 steps.
    const int y = rect.bottom();
    QVERIFY(at(image, 10, y) != background);
    QVERIFY(at(image, 109, y) != background);
    QCOMPARE(at(image, 110, y), background);
    QCOMPARE(at(image, 210, y), background);
    QCOMPARE(at(image, 211, y), white);
    QCOMPARE(at(image, 9, y), white);

    test::text_recorder_c recorder;
    {
        QPainter painter(&recorder);
        bar.paint(&painter, rect);
        bar.value = 1.0;
        bar.paint(&painter, rect);
        bar.value = 0.0;
        bar.paint(&painter, rect);
    }
    QCOMPARE(recorder.texts, (QStringList{QStringLiteral("50%"), QStringLiteral("100%"), QStringLiteral("0%")}));
}

QTEST_MAIN(page_painting_test)
#include "page_painting_test.moc"
