#include "scan/diagnostic_log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class DiagnosticLog : public ::testing::Test {
protected:
    void TearDown() override { qunsetenv("XDG_STATE_HOME"); }
    QTemporaryDir dir_;
};

TEST_F(DiagnosticLog, EachErrorIsOneCompleteLineInTheFileAndOnStandardError)
{
    qputenv("XDG_STATE_HOME", dir_.filePath("state").toUtf8());
    testing::internal::CaptureStderr();
    tarn::log_error("ntfs_recovery", 105, "ntfs_scan_startup failed with return value (%d)", -3);
    tarn::log_error("ntfs_recovery", 105, "ntfs_scan_startup failed with return value (%d)", -7);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "ERROR: [ntfs_recovery:105] ntfs_scan_startup failed with return value (-3)\n"
                   "ERROR: [ntfs_recovery:105] ntfs_scan_startup failed with return value (-7)\n");

    QFile log(dir_.filePath("state/Velloran.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLocal8Bit(log.readAll()).split('\n');
    ASSERT_EQ(lines.size(), 3); // two entries and the empty rest after the last line break
    const QRegularExpression entry(
        R"(^\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4}  \[ntfs_recovery:105\] ntfs_scan_startup failed with return value \((-?\d+)\)$)");
    EXPECT_EQ(entry.match(lines[0]).captured(1), "-3");
    EXPECT_EQ(entry.match(lines[1]).captured(1), "-7");
    EXPECT_TRUE(lines[2].isEmpty());
}

TEST_F(DiagnosticLog, UnwritableLogStillReachesStandardError)
{
    // The log's folder is a plain file, so the log can neither be created nor opened.
    QFile blocker(dir_.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_STATE_HOME", dir_.filePath("blocked").toUtf8());
    testing::internal::CaptureStderr();
    tarn::log_error("fat_recovery", 7, "%s", "lost");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: [fat_recovery:7] lost\n");
}

// A link planted under the log's name is not followed (root would create or extend its target);
// run as root with another user's folder as the state folder, nothing is made in that folder.
TEST_F(DiagnosticLog, TheLogFollowsNoLinkAndRootMakesNothingInAnotherUsersFolder)
{
    ASSERT_TRUE(QDir().mkpath(dir_.filePath("state")));
    ASSERT_TRUE(QFile::link(dir_.filePath("victim"), dir_.filePath("state/Velloran.log")));
    qputenv("XDG_STATE_HOME", dir_.filePath("state").toUtf8());
    testing::internal::CaptureStderr();
    tarn::log_error("fat_recovery", 7, "%s", "planted");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: [fat_recovery:7] planted\n");
    EXPECT_FALSE(QFile::exists(dir_.filePath("victim")));
    if (::geteuid() != 0)
        GTEST_SKIP() << "the rest needs root";
    ASSERT_TRUE(QDir().mkpath(dir_.filePath("user")));
    ASSERT_EQ(::chown(QFile::encodeName(dir_.filePath("user")).constData(), 4321, 4321), 0);
    qputenv("XDG_STATE_HOME", dir_.filePath("user/.local/state").toUtf8());
    testing::internal::CaptureStderr();
    tarn::log_error("fat_recovery", 8, "%s", "as root");
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath("user/.local")));
}

} // namespace
