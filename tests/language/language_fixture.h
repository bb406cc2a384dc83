#pragma once
// A fresh working directory and empty language tables for each test; the per-user store is
// pointed into the same temporary directory so no test touches the real home.

#include "settings/language.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarn::test {

class language_fixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        previous_dir_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir_.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("config"))));
        language_table.clear();
        language_names.clear();
        language_index = 0;
    }

    void TearDown() override { QDir::setCurrent(previous_dir_); }

    // Writes bytes to name in the working directory.
    void write_file(const QString& name, const QByteArray& bytes)
    {
        QFile file(dir_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QByteArray read_file(const QString& name)
    {
        QFile file(dir_.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir_;

private:
    QString previous_dir_;
};

} // namespace tarn::test
