#include "tests/ntfs/ntfs_volume.h"

#include "tests/support/test_support.h"

#include <QFile>

namespace tarn::test {

int make_ntfs_volume(const QString& image, qint64 bytes, const QStringList& commands)
{
    QFile::remove(image);
    if (make_sparse_file(image, static_cast<std::uint64_t>(bytes)) != 0)
        return -1;
    const QString time = QStringLiteral("2024-01-15 10:00:00");
    if (run_tool(QStringLiteral("faketime"), {time, QStringLiteral("mkntfs"), QStringLiteral("-F"), QStringLiteral("-Q"),
                                              QStringLiteral("-q"), image}) != 0)
        return -1;
    const QString edit = qEnvironmentVariable("TARN_NTFS_EDIT");
    // faketime preloads itself; a sanitizer build of the tool must not object to coming second.
    QString asan = qEnvironmentVariable("ASAN_OPTIONS");
    asan += QLatin1String(asan.isEmpty() ? "" : ":") + QStringLiteral("verify_asan_link_order=0");
    return run_tool(QStringLiteral("faketime"), QStringList{time, edit, image} + commands, nullptr,
                    {QStringLiteral("ASAN_OPTIONS=") + asan})
                   == 0
               ? 0
               : -1;
}

} // namespace tarn::test
