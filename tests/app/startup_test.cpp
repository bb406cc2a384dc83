// The start-up worker, the single-instance rule and the command-line tool, run for real.

#include "common/app_state.h"
#include "app/init.h"
#include "disk/drive_enumeration.h"
#include "disk/volume_enumeration.h"
#include "scan/disk_sector_layer.h"
#include "tests/support/test_support.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tarn;

class startup_test : public QObject {
    Q_OBJECT

private slots:
    void worker_finishes_without_readable_disks();
    void second_instance_leaves_at_once();
    void command_line_lists_and_rejects();

private:
    QTemporaryDir dir_;
};

void startup_test::worker_finishes_without_readable_disks()
{
    qputenv("TARN_DISKS", dir_.filePath("no-such-disk.img").toUtf8());
    QCOMPARE(init_done.load(), 0);
    init_c worker;
    QSignalSpy finished(&worker, &init_c::init_finished);
    worker.start(QThread::InheritPriority);
    QVERIFY(finished.wait(10000));
    QCOMPARE(init_done.load(), 1);
    QCOMPARE(drive_list().size(), std::size_t{1});
    QVERIFY(!drive_list()[0].geometry.has_value());
    QCOMPARE(volume_list().size(), std::size_t{1});
    QCOMPARE(disk_drive_count(), 0);
    disk_shutdown();
    qunsetenv("TARN_DISKS");
}

void startup_test::second_instance_leaves_at_once()
{
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", dir_.path());
    env.insert("TARN_DISKS", dir_.filePath("none.img"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // The instances' own messages (a sanitizer's report, say) go to the test's log.
    QProcess first;
    first.setProcessChannelMode(QProcess::ForwardedChannels);
    first.setProcessEnvironment(env);
    first.start(qEnvironmentVariable("TARN_GUI"), {});
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir_.filePath("TarnRecovery.lock")), 60000);

    QProcess second;
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.setProcessEnvironment(env);
    second.start(qEnvironmentVariable("TARN_GUI"), {});
    QVERIFY(second.waitForFinished(60000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 255); // -1
    QCOMPARE(first.state(), QProcess::Running);

    first.terminate();
    QVERIFY(first.waitForFinished(60000));
    // Once the first is gone, a new instance may start.
    QProcess third;
    third.setProcessChannelMode(QProcess::ForwardedChannels);
    third.setProcessEnvironment(env);
    third.start(qEnvironmentVariable("TARN_GUI"), {});
    QVERIFY(third.waitForStarted());
    // The lock file's first line names the process that holds it.
    const auto holder = [this] {
        QFile lock(dir_.filePath("TarnRecovery.lock"));
        return lock.open(QIODevice::ReadOnly) ? lock.readLine().trimmed().toLongLong() : 0;
    };
    const qint64 pid = third.processId();
    QTRY_VERIFY_WITH_TIMEOUT(holder() == pid || third.state() != QProcess::Running, 60000);
    QVERIFY2(third.state() == QProcess::Running,
             qPrintable(QString("the third instance ended: %1 %2")
                            .arg(third.exitStatus() == QProcess::CrashExit ? "crashed, signal" : "exited, status")
                            .arg(third.exitCode())));
    QCOMPARE(holder(), pid);
    third.kill();
    third.waitForFinished();
}

void startup_test::command_line_lists_and_rejects()
{
    const QString image = dir_.filePath("cli.img");
    QVERIFY(test::make_sparse_file(image, 64 * 1024 * 1024) == 0);
    QVERIFY(test::write_partition_table(image, "label: dos\nstart=2048, size=69632, type=c\n") == 0);
    QVERIFY(test::format_fat(image, 2048, 69632, 32, "CLIVOL") == 0);
    const QString cli = qEnvironmentVariable("TARN_CLI");
    const QStringList env = {"TARN_DISKS=" + image};

    QString out;
    QCOMPARE(test::run_tool(cli, {"drives"}, &out, env), 0);
    QCOMPARE(out, QString("1\t%1\t%2\n").arg(image).arg(64 * 1024 * 1024)); // the true size, not whole cylinders
    QCOMPARE(test::run_tool(cli, {"volumes"}, &out, env), 0);
    const QStringList columns = out.trimmed().split('\t');
    QCOMPARE(columns.size(), 9);
    QCOMPARE(columns.mid(0, 4), (QStringList{"1", image + "#1", "FAT32", "CLIVOL"}));
    QCOMPARE(columns.mid(6, 2), (QStringList{"1", "0"}));
    QCOMPARE(test::run_tool(cli, {"--json", "volumes"}, &out, env), 0);
    QVERIFY(out.contains("\"label\":\"CLIVOL\""));
    QVERIFY(out.contains("\"row\":1"));

    QCOMPARE(test::run_tool(cli, {"--help"}, &out, env), 0);
    QVERIFY(out.contains("drives") && out.contains("volumes"));
    QCOMPARE(test::run_tool(cli, {}, &out, env), 2);
    QCOMPARE(test::run_tool(cli, {"frobnicate"}, &out, env), 2);
    QVERIFY(out.contains("unknown command"));
    QCOMPARE(test::run_tool(cli, {"drives", "extra"}, &out, env), 2);
}

QTEST_GUILESS_MAIN(startup_test)
#include "startup_test.moc"
