#include "tests/support/test_support.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace tarn::test {

int run_tool(const QString& program, const QStringList& args, QString* output, const QStringList& extra_env)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!extra_env.isEmpty()) {
        auto env = QProcessEnvironment::systemEnvironment();
        for (const auto& entry : extra_env)
            env.insert(entry.section('=', 0, 0), entry.section('=', 1));
        process.setProcessEnvironment(env);
    }
    process.start(program, args);
    if (!process.waitForStarted() || !process.waitForFinished(300000))
        return -1;
    if (output)
        *output = QString::fromUtf8(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

int make_sparse_file(const QString& path, std::uint64_t bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    return file.resize(static_cast<qint64>(bytes)) ? 0 : -1;
}

bool have_tool(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty()
           || !QStandardPaths::findExecutable(program, {"/usr/sbin", "/sbin"}).isEmpty();
}

} // namespace tarn::test
