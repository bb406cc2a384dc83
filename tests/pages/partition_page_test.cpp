// The partition search page on images made by real tools: stopping and restarting, a search
// that finds nothing, the repair question answered No, a repair that has nothing to write, and
// a repair whose question shows both tables and whose answer tells where the backup went, and a
// GPT disk named, left alone while sound and rebuilt when both its copies are gone.

#include "partition/partition_window.h"
#include "tests/pages/page_images.h"
#include "tests/pages/text_recorder.h"
#include "tests/partition/partition_fixtures.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/test_support.h"
#include "settings/language.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QListView>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <QTest>

#include <memory>

using namespace tarn;

namespace {

// Stands in for the main window, which the back button reaches.
class receiver_probe_c : public QObject {
    Q_OBJECT
public:
    int backs = 0;
public slots:
    void on_click_partition_back() { ++backs; }
};

constexpr std::uint64_t small_disk = 200'000ull * 512;
// Long enough that a search is still running when the test stops it.
constexpr std::uint64_t huge_disk = 1ull << 40;

} // namespace

class partition_page_test : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void stop_twice_restarts_from_an_empty_list();
    void a_new_disk_waits_for_the_stopping_search();
    void nothing_found_ends_empty_at_the_full_bar();
    void repair_answered_no_writes_nothing();
    void repair_shows_both_tables_and_where_the_backup_went();
    void the_real_question_shows_the_tables_and_defaults_to_no();
    void a_gpt_is_named_left_alone_when_sound_and_rebuilt_when_gone();

private:
    QString image(const QString& name, std::uint64_t bytes);
    QString searched_mixed_disk();
    void click_repair() { QTest::mouseClick(button("btn_repair"), Qt::LeftButton); }
    int rows() const { return list()->model()->rowCount(); }
    QListView* list() const { return page_->findChild<QListView*>(QStringLiteral("lv_volumes")); }
    QPushButton* button(const char* name) const { return page_->findChild<QPushButton*>(QString::fromLatin1(name)); }
    // The texts the page paints now.
    QStringList painted() const
    {
        test::text_recorder_c recorder;
        page_->render(&recorder);
        return recorder.texts;
    }
    QStringList backups() const
    {
        return QDir(fixture_->path(QStringLiteral("data/TarnRecovery"))).entryList(QDir::Files);
    }

    std::unique_ptr<test::shell_fixture> fixture_;
    receiver_probe_c receiver_;
    std::unique_ptr<partition_window_c> page_;
};

void partition_page_test::init()
{
    fixture_ = std::make_unique<test::shell_fixture>();
    qputenv("XDG_DATA_HOME", fixture_->path(QStringLiteral("data")).toUtf8());
    language_text("btn_start") = QStringLiteral("Start again");
    language_text("btn_stop") = QStringLiteral("Stop");
    language_text("partition_nothing_found") = QStringLiteral("Nothing here.");
    language_text("partition_search_stopped") = QStringLiteral("Stopped.");
    language_text("partition_drive") = QStringLiteral("Drive: %1");
    page_ = std::make_unique<partition_window_c>(&receiver_);
    page_->resize(780, 520);
    page_->show();
    QVERIFY(QTest::qWaitForWindowExposed(page_.get()));
}

void partition_page_test::cleanup()
{
    page_.reset();
    fixture_.reset();
}

QString partition_page_test::image(const QString& name, std::uint64_t bytes)
{
    const QString path = fixture_->path(name);
    if (test::make_lost_partitions_image(path, bytes) != 0)
        return {};
    return path;
}

void partition_page_test::stop_twice_restarts_from_an_empty_list()
{
    const QString disk = image(QStringLiteral("huge.img"), huge_disk);
    QVERIFY(!disk.isEmpty());
    QCOMPARE(rows(), 0);
    QCOMPARE(page_->progress_bar().value, 0.0);
    page_->start_search(test::image_drive(disk));
    QTRY_COMPARE(rows(), 2);
    QVERIFY(page_->search().isRunning());
    // The page's timer carries the search's progress to the bar while the disk is read.
    QTRY_VERIFY(page_->progress_bar().value > 0.0);

    // Repair while searching is ignored without a question.
    QTest::mouseClick(button("btn_repair"), Qt::LeftButton);
    QVERIFY(fixture_->take_boxes().empty());

    QTest::mouseClick(button("btn_stop"), Qt::LeftButton);
    QCOMPARE(button("btn_stop")->text(), QStringLiteral("Start again"));
    QTRY_VERIFY(!page_->search().isRunning());
    QCOMPARE(rows(), 2);
    QCOMPARE(button("btn_stop")->text(), QStringLiteral("Start again"));
    QVERIFY(page_->search().progress() < 1.0);
    // The outcome comes with the thread's finished signal, which the event loop delivers after
    // the thread has ended.
    QTRY_VERIFY(painted().contains(QStringLiteral("Stopped.")));

    QTest::mouseClick(button("btn_stop"), Qt::LeftButton);
    QCOMPARE(button("btn_stop")->text(), QStringLiteral("Stop"));
    QVERIFY(page_->search().isRunning());
    QCOMPARE(rows(), 0);
    QCOMPARE(page_->progress_bar().value, 0.0);
    QTRY_COMPARE(rows(), 2);
    const auto first = list()->model()->index(0, 0).data().value<partition_item_s>();
    QCOMPARE(first.start_sector, 2048u);

    page_->stop_search();
    QCOMPARE(button("btn_stop")->text(), QStringLiteral("Start again"));
    QTRY_VERIFY(!page_->search().isRunning());
    QTest::mouseClick(button("btn_back"), Qt::LeftButton);
    QCOMPARE(receiver_.backs, 1);
}

void partition_page_test::a_new_disk_waits_for_the_stopping_search()
{
    const QString huge = image(QStringLiteral("huge.img"), huge_disk);
    const QString blank = fixture_->path(QStringLiteral("blank.img"));
    QCOMPARE(test::make_sparse_file(blank, 16ull << 20), 0);
    page_->start_search(test::image_drive(huge));
    QTRY_COMPARE(rows(), 2);
    page_->start_search(test::image_drive(blank));
    QTRY_COMPARE(page_->search().drive()->path, blank);
    QTRY_VERIFY(!page_->search().isRunning());
    QCOMPARE(rows(), 0);
    QCOMPARE(page_->search().progress(), 1.0);
}

void partition_page_test::nothing_found_ends_empty_at_the_full_bar()
{
    const QString blank = fixture_->path(QStringLiteral("blank.img"));
    QCOMPARE(test::make_sparse_file(blank, 16ull << 20), 0);
    const QByteArray before = test::sector0(blank);
    page_->start_search(test::image_drive(blank));
    QTRY_VERIFY(!page_->search().isRunning());
    QTRY_COMPARE(page_->progress_bar().value, 1.0);
    QCOMPARE(rows(), 0);
    QCOMPARE(button("btn_stop")->text(), QStringLiteral("Start again"));
    // The page says that nothing was found, and on which disk.
    QVERIFY(painted().contains(QStringLiteral("Nothing here.")));
    QVERIFY(painted().contains(QStringLiteral("Drive: %1 (16.00M)").arg(blank)));

    // Nothing found: there is nothing to confirm or write, and the user is told so.
    QSignalSpy done(page_.get(), &partition_window_c::repair_done);
    click_repair();
    QTRY_COMPARE(done.size(), 1);
    QCOMPARE(done[0][0].toInt(), -1);
    const auto boxes = fixture_->take_boxes();
    QCOMPARE(test::keys_of(boxes), QStringList{QStringLiteral("partition_failed")});
    QVERIFY(boxes[0].detail.isEmpty());
    QCOMPARE(test::sector0(blank), before);
    QVERIFY(backups().isEmpty());
}

void partition_page_test::repair_answered_no_writes_nothing()
{
    const QString disk = image(QStringLiteral("disk.img"), small_disk);
    QVERIFY(!disk.isEmpty());
    const QByteArray before = test::sector0(disk);
    page_->start_search(test::image_drive(disk));
    QTRY_VERIFY(!page_->search().isRunning());
    QTRY_COMPARE(rows(), 2);

    QSignalSpy done(page_.get(), &partition_window_c::repair_done);
    // The question can be asked again after a No.
    for (int round = 0; round < 2; ++round) {
        fixture_->answer_next(QMessageBox::No);
        click_repair();
        std::vector<warning_request_s> boxes;
        QVERIFY(QTest::qWaitFor([&] { return !(boxes = fixture_->take_boxes()).empty(); }));
        QCOMPARE(test::keys_of(boxes), QStringList{QStringLiteral("partition_query")});
        QCOMPARE(boxes[0].title, QStringLiteral("TarnRecovery"));
        QCOMPARE(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(boxes[0].default_button, QMessageBox::No);
        QCOMPARE(boxes[0].owner, page_.get());
        QCoreApplication::processEvents();
    }
    QVERIFY(done.isEmpty());
    QVERIFY(fixture_->take_boxes().empty());
    QCOMPARE(test::sector0(disk), before);
    QVERIFY(backups().isEmpty());
}

QString partition_page_test::searched_mixed_disk()
{
    const QString disk = fixture_->path(QStringLiteral("mixed.img"));
    if (test::make_intact_mixed_disk(disk) != 0)
        return {};
    page_->start_search(test::image_drive(disk));
    if (!QTest::qWaitFor([this] { return !page_->search().isRunning() && rows() == 1; }))
        return {};
    return disk;
}

namespace {

// Each row of the rich-text tables as its cells joined by '|', and each heading paragraph.
QStringList table_lines(const QString& html)
{
    static const QRegularExpression line(QStringLiteral("<tr>(.*?)</tr>|<p><b>(.*?)</b></p>"));
    static const QRegularExpression cell(QStringLiteral("<t[dh][^>]*>(.*?)</t[dh]>"));
    QStringList out;
    for (const auto& m : line.globalMatch(html)) {
        if (m.hasCaptured(2)) {
            out << m.captured(2);
            continue;
        }
        QStringList cells;
        for (const auto& c : cell.globalMatch(m.captured(1)))
            cells << c.captured(1);
        out << cells.join(u'|');
    }
    return out;
}

} // namespace

void partition_page_test::repair_shows_both_tables_and_where_the_backup_went()
{
    const std::pair<const char*, const char*> texts[] = {
        {"partition_table_now", "On the disk now:"}, {"partition_table_new", "To be written:"},
        {"partition_number", "No."}, {"partition_type", "Type"}, {"partition_ss", "Start"}, {"partition_es", "End"},
        {"drive_size", "Size"}, {"partition_entry_empty", "empty"}, {"partition_entry_kept", "kept"},
        {"partition_entry_replaced", "replaced"}, {"partition_backup", "Old sector 0 saved to %1"},
    };
    for (const auto& [key, text] : texts)
        language_text(key) = QString::fromUtf8(text);
    const QString disk = searched_mixed_disk();
    QVERIFY(!disk.isEmpty());
    const QByteArray before = test::sector0(disk);
    const qint64 disk_bytes = QFileInfo(disk).size();
    const QByteArray rest_before = QCryptographicHash::hash(test::read_file_range(disk, 512, disk_bytes - 512),
                                                            QCryptographicHash::Sha256);

    QSignalSpy done(page_.get(), &partition_window_c::repair_done);
    fixture_->answer_next(QMessageBox::Yes);
    click_repair();
    QTRY_COMPARE(done.size(), 1);
    QCOMPARE(done[0][0].toInt(), 0);
    const auto boxes = fixture_->take_boxes();
    QCOMPARE(test::keys_of(boxes), (QStringList{QStringLiteral("partition_query"), QStringLiteral("partition_finished")}));

    const QString header = QStringLiteral("No.|Type|Start|End|Size|");
    const QStringList expected = {
        QStringLiteral("On the disk now: MBR"), header,
        QStringLiteral("1|0x0C|2048|83947|39.99M|replaced"), QStringLiteral("2|0x82|86016|126975|20.00M|kept"),
        QStringLiteral("3|0x83|129024|149503|10.00M|kept"), QStringLiteral("4|empty"),
        QStringLiteral("To be written: MBR"), header,
        QStringLiteral("1|0x0C|2048|83947|39.99M|FAT32"), QStringLiteral("2|0x82|86016|126975|20.00M|kept"),
        QStringLiteral("3|0x83|129024|149503|10.00M|kept"), QStringLiteral("4|empty"),
    };
    QCOMPARE(table_lines(boxes[0].detail), expected);

    // The swap and Linux entries come through byte for byte, and nothing past sector 0 changed.
    const QByteArray after = test::sector0(disk);
    QCOMPARE(after.mid(462, 32), before.mid(462, 32));
    QCOMPARE(QFileInfo(disk).size(), disk_bytes);
    QCOMPARE(QCryptographicHash::hash(test::read_file_range(disk, 512, disk_bytes - 512), QCryptographicHash::Sha256),
             rest_before);
    const QString backup = page_->search().backup_path();
    QVERIFY(!backup.isEmpty());
    QVERIFY2(boxes[1].detail.contains(QStringLiteral("Old sector 0 saved to ") + backup), qPrintable(boxes[1].detail));
    QCOMPARE(test::read_file_range(backup, 0, 1024), before);
}

void partition_page_test::the_real_question_shows_the_tables_and_defaults_to_no()
{
    const QString disk = searched_mixed_disk();
    QVERIFY(!disk.isEmpty());
    const QByteArray before = test::sector0(disk);
    set_warning_answerer({}); // the real box this time
    QString informative;
    QMessageBox::StandardButton default_button = QMessageBox::NoButton;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        informative = box->informativeText();
        default_button = box->standardButton(box->defaultButton());
        // Enter answers with the default button.
        QTest::keyClick(box, Qt::Key_Return);
    });
    poll.start(20);
    QSignalSpy done(page_.get(), &partition_window_c::repair_done);
    click_repair();
    QTRY_VERIFY(!informative.isEmpty());
    QCOMPARE(default_button, QMessageBox::No);
    QCOMPARE(table_lines(informative).size(), 12);
    QTest::qWait(50);
    QVERIFY(done.isEmpty());
    QCOMPARE(test::sector0(disk), before);
    QVERIFY(backups().isEmpty());
}

void partition_page_test::a_gpt_is_named_left_alone_when_sound_and_rebuilt_when_gone()
{
    const std::pair<const char*, const char*> texts[] = {
        {"partition_table_kind", "Table: %1"}, {"partition_table_new", "New:"}, {"partition_gpt_basic_data", "basic"},
        {"partition_sectors_written", "Writes %1."}, {"partition_backup_sectors", "Sectors %1 saved to %2"},
    };
    for (const auto& [key, text] : texts)
        language_text(key) = QString::fromUtf8(text);
    const QString disk = fixture_->path(QStringLiteral("gpt.img"));
    QCOMPARE(test::make_gpt_disk(disk), 0);
    const QByteArray before = test::read_file_range(disk, 0, 34 * 512);
    page_->start_search(test::image_drive(disk));
    QTRY_VERIFY(!page_->search().isRunning());
    QTRY_COMPARE(rows(), 2);
    QTRY_VERIFY(painted().contains(QStringLiteral("Table: GPT")));
    QSignalSpy done(page_.get(), &partition_window_c::repair_done);
    click_repair();
    QTRY_COMPARE(done.size(), 1);
    QCOMPARE(done[0][0].toInt(), 0);
    // Nothing to confirm: the one box says the table is sound and shows it.
    auto boxes = fixture_->take_boxes();
    QCOMPARE(test::keys_of(boxes), QStringList{QStringLiteral("partition_table_sound")});
    QCOMPARE(table_lines(boxes[0].detail).size(), 4); // heading, column captions, two entries
    QCOMPARE(test::read_file_range(disk, 0, 34 * 512), before);
    QVERIFY(backups().isEmpty());

    const std::uint64_t n = test::gpt_disk_sectors;
    QCOMPARE(test::zero_sectors(disk, 1, 33), 0);
    QCOMPARE(test::zero_sectors(disk, n - 33, 33), 0);
    fixture_->answer_next(QMessageBox::Yes);
    click_repair();
    QTRY_COMPARE(done.size(), 2);
    QCOMPARE(done[1][0].toInt(), 0);
    boxes = fixture_->take_boxes();
    QCOMPARE(test::keys_of(boxes), (QStringList{QStringLiteral("partition_query_gpt"), QStringLiteral("partition_finished")}));
    const QStringList lines = table_lines(boxes[0].detail);
    QVERIFY2(lines.contains(QStringLiteral("1|basic|2048|18431|8.00M|NTFS")), qPrintable(lines.join(u'\n')));
    QVERIFY(lines.contains(QStringLiteral("New: GPT")));
    const QString sectors = QStringLiteral("0, 1-33, %1-%2").arg(n - 33).arg(n - 1);
    QVERIFY2(boxes[0].detail.contains(QStringLiteral("Writes %1.").arg(sectors)), qPrintable(boxes[0].detail));
    QVERIFY(boxes[1].detail.contains(QStringLiteral("Sectors %1 saved to %2").arg(sectors, page_->search().backup_path())));
    QString verdict;
    QCOMPARE(test::run_tool(QStringLiteral("sgdisk"), {QStringLiteral("-v"), disk}, &verdict), 0);
    QVERIFY2(verdict.contains(QStringLiteral("No problems found")), qPrintable(verdict));
}

QTEST_MAIN(partition_page_test)
#include "partition_page_test.moc"
