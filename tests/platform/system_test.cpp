// Where the program finds its data files, and the private folder previews are written to.

#include "platform/system.h"

#include <QDir>
#include <QFile>
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

} // namespace
