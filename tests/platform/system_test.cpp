// Where the program finds its data files, and the private folder previews are written to.

#include "platform/system.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace tarn;

namespace {

bool touch(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}

TEST(DataFiles, WorkingDirectoryFirstThenBesideTheProgram)
{
    const QString name = QStringLiteral("tarn-data-%1.ini").arg(::getpid());
    QTemporaryDir cwd;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(cwd.path()));
    EXPECT_EQ(data_file_path(name), name); // found nowhere: the working directory's name
    const QString beside = executable_dir() + '/' + name;
    ASSERT_TRUE(touch(beside));
    EXPECT_EQ(data_file_path(name), beside);
    ASSERT_TRUE(touch(cwd.filePath(name)));
    EXPECT_EQ(data_file_path(name), QDir(cwd.path()).canonicalPath() + '/' + name);
    QFile::remove(beside);
    QDir::setCurrent(before);
}

TEST(PrivateTemp, OnlyTheOwnerMayEnter)
{
    const QString dir = private_temp_dir();
    ASSERT_FALSE(dir.isEmpty());
    EXPECT_EQ(private_temp_dir(), dir);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(dir).constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_NE(dir, QDir::tempPath());
}

// The window's lock lies where only the user may write, and a lock that cannot be had always
// says why: another copy running (naming its process), or a folder that is not the user's own.
TEST(SingleInstance, ALockThatCannotBeHadSaysWhy)
{
    QTemporaryDir runtime;
    const QByteArray before = qgetenv("XDG_RUNTIME_DIR");
    ASSERT_EQ(::chmod(QFile::encodeName(runtime.path()).constData(), 0700), 0);
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    const QString name = QStringLiteral("tarn-lock-test-%1").arg(::getpid());
    QString why;
    const auto first = single_instance_lock(name, &why);
    ASSERT_TRUE(first) << why.toStdString();
    EXPECT_TRUE(first->fileName().startsWith(runtime.path()));
    const auto second = single_instance_lock(name, &why);
    EXPECT_FALSE(second);
    EXPECT_TRUE(why.contains(QStringLiteral("another copy is running (process %1").arg(::getpid()))) << why.toStdString();
    if (::geteuid() == 0) {
        // A runtime folder that belongs to someone else is not used; the lock goes to a folder of
        // the shared temporary folder that only this user may write.
        ASSERT_EQ(::chown(QFile::encodeName(runtime.path()).constData(), 4321, 4321), 0);
        why.clear();
        const auto elsewhere = single_instance_lock(name + "-other", &why);
        ASSERT_TRUE(elsewhere) << why.toStdString();
        EXPECT_FALSE(elsewhere->fileName().startsWith(runtime.path()));
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(elsewhere->fileName()).path()).constData(), &st), 0);
        EXPECT_EQ(st.st_uid, ::geteuid());
        EXPECT_EQ(st.st_mode & 077, 0u);
    }
    qputenv("XDG_RUNTIME_DIR", before);
}

} // namespace
