#include "tests/support/test_support.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
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

int write_partition_table(const QString& image, const QString& script)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("sfdisk"), {QStringLiteral("-q"), QStringLiteral("--no-reread"), image});
    if (!process.waitForStarted())
        return -1;
    process.write(script.toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode() == 0 ? 0 : -1;
}

int format_fat(const QString& image, std::uint64_t first_sector, std::uint64_t sectors, int fat_bits,
               const QString& label, int sectors_per_cluster)
{
    QStringList args = {QStringLiteral("-F"), QString::number(fat_bits), QStringLiteral("-i"), QStringLiteral("1234ABCD"),
                        QStringLiteral("--invariant"), QStringLiteral("-n"), label};
    if (sectors_per_cluster > 0)
        args << QStringLiteral("-s") << QString::number(sectors_per_cluster);
    if (first_sector > 0)
        args << QStringLiteral("--offset=%1").arg(first_sector) << QStringLiteral("-h") << QString::number(first_sector);
    else
        args << QStringLiteral("-C");
    args << image << QString::number(sectors / 2);
    if (first_sector == 0)
        QFile::remove(image); // -C creates the file itself
    return run_tool(QStringLiteral("mkfs.fat"), args) == 0 ? 0 : -1;
}

QByteArray random_bytes(int size, quint32 seed)
{
    QByteArray data(size, '\0');
    QRandomGenerator rng(seed);
    for (char& c : data)
        c = static_cast<char>(rng.generate());
    return data;
}

bool have_tool(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty()
           || !QStandardPaths::findExecutable(program, {"/usr/sbin", "/sbin"}).isEmpty();
}

int run_mtools(const QStringList& args, const QString& time)
{
    const QStringList env = {"MTOOLS_SKIP_CHECK=1", "LC_ALL=C.UTF-8", "TZ=UTC"};
    QString output;
    const int rc = run_tool(QStringLiteral("faketime"), QStringList{time} + args, &output, env);
    if (rc != 0)
        qWarning("%s: %s", qPrintable(args.join(QLatin1Char(' '))), qPrintable(output));
    return rc;
}

} // namespace tarn::test
