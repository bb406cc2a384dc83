// The message box as the user meets it, and the desktop shell requests from any thread.

#include "platform/shell_open.h"
#include "tests/shell/shell_fixture.h"
#include "widgets/warning_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>

using namespace tarn;

class shell_services_test : public QObject {
    Q_OBJECT

private slots:
    void box_shows_title_text_buttons_and_icon();
    void box_without_buttons_offers_ok();
    void shell_gets_local_paths_as_files_and_addresses_as_they_are();
    void shell_request_from_a_worker_runs_on_the_interface_thread();
};

void shell_services_test::box_shows_title_text_buttons_and_icon()
{
    test::shell_fixture fixture;
    set_warning_answerer({}); // the real box this time
    QWidget owner;
    owner.show();
    QString title, text;
    QList<QMessageBox::StandardButton> buttons;
    bool icon = false;
    QWidget* parent = nullptr;
    Qt::WindowFlags flags;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        for (QAbstractButton* b : box->buttons())
            buttons << box->standardButton(b);
        icon = !box->iconPixmap().isNull();
        parent = box->parentWidget();
        flags = box->windowFlags();
        QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    });
    const auto answer = warning_box(QStringLiteral("TarnRecovery"), "back_warning",
                                    QMessageBox::Yes | QMessageBox::No, &owner);
    QCOMPARE(answer, QMessageBox::No);
    QCOMPARE(title, QStringLiteral("TarnRecovery"));
    QCOMPARE(text, QStringLiteral("A scan is running. Leave it?"));
    std::sort(buttons.begin(), buttons.end());
    QCOMPARE(buttons, (QList<QMessageBox::StandardButton>{QMessageBox::Yes, QMessageBox::No}));
    QVERIFY(icon);
    QCOMPARE(parent, &owner);
    QVERIFY(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
}

void shell_services_test::box_without_buttons_offers_ok()
{
    test::shell_fixture fixture;
    set_warning_answerer({});
    QList<QMessageBox::StandardButton> buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        for (QAbstractButton* b : box->buttons())
            buttons << box->standardButton(b);
        QTest::keyClick(box, Qt::Key_Return);
    });
    QCOMPARE(warning_box(QStringLiteral("Quillmere"), "main_warning1", QMessageBox::NoButton, nullptr),
             QMessageBox::Ok);
    QCOMPARE(buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
}

void shell_services_test::shell_gets_local_paths_as_files_and_addresses_as_they_are()
{
    std::vector<QUrl> opened;
    set_shell_opener([&](const QUrl& url) {
        opened.push_back(url);
        return 0;
    });
    QCOMPARE(open_in_shell(QString()), -1);
    QCOMPARE(open_in_shell(QStringLiteral("/tmp/rec overed/./x")), 0);
    QCOMPARE(open_in_shell(QStringLiteral("https://example.org/help?a=1")), 0);
    QCOMPARE(open_in_shell(QStringLiteral("C:/recovered")), 0);
    set_shell_opener({});
    QCOMPARE(opened.size(), std::size_t{3});
    QCOMPARE(opened[0], QUrl::fromLocalFile(QStringLiteral("/tmp/rec overed/x")));
    QCOMPARE(opened[1], QUrl(QStringLiteral("https://example.org/help?a=1")));
    QVERIFY(opened[2].isLocalFile());
}

void shell_services_test::shell_request_from_a_worker_runs_on_the_interface_thread()
{
    QThread* seen_on = nullptr;
    set_shell_opener([&](const QUrl&) {
        seen_on = QThread::currentThread();
        return 0;
    });
    int result = -1;
    std::unique_ptr<QThread> worker(QThread::create([&] { result = open_in_shell(QStringLiteral("/tmp")); }));
    worker->start();
    QVERIFY(worker->wait(10000));
    QCOMPARE(result, 0);
    QTRY_COMPARE(seen_on, QThread::currentThread());
    set_shell_opener({});
}

QTEST_MAIN(shell_services_test)
#include "shell_services_test.moc"
