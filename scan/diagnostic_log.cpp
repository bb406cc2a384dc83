#include "scan/diagnostic_log.h"

#include "platform/read_failures.h"
#include "platform/system.h"

#include <QFile>
#include <QString>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace tarn {

namespace {

// The fixed 24-character local time form ("Mon Dec  7 07:48:42 2026"), cut at its line break;
// unlike strftime it does not follow the user's locale.
QByteArray time_stamp()
{
    const std::time_t now = std::time(nullptr);
    char text[32] = {};
    if (::ctime_r(&now, text) == nullptr)
        return {};
    return QByteArray(text, static_cast<qsizetype>(std::strcspn(text, "\r\n")));
}

} // namespace

void log_error(const char* unit, int line, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const QByteArray message = QString::vasprintf(format, args).toLocal8Bit();
    va_end(args);
    const QByteArray position = QStringLiteral("[%1:%2] ").arg(QString::fromLocal8Bit(unit)).arg(line).toLocal8Bit();

    // Opened and closed per entry, so that entries from two threads stay whole lines.
    append_to_file(log_file_path(QStringLiteral("Velloran.log")), time_stamp() + "  " + position + message + "\n");
    const QByteArray copy = "ERROR: " + position + message + "\n";
    std::fwrite(copy.constData(), 1, static_cast<std::size_t>(copy.size()), stderr);
    std::fflush(stderr);
}

void log_unreadable(const char* unit, int line, const char* what, const read_failures_c& failures)
{
    if (failures.empty())
        return;
    for (const unreadable_range_s& r : failures.ranges())
        log_error(unit, line, "%s: reads failed over %llu bytes at byte offset %llu (to %llu)", what,
                  static_cast<unsigned long long>(r.bytes), static_cast<unsigned long long>(r.at),
                  static_cast<unsigned long long>(r.at + r.bytes));
    log_error(unit, line, "%s: %llu reads failed in %zu unreadable ranges (%llu more ranges not listed)", what,
              static_cast<unsigned long long>(failures.failed_reads()), failures.ranges().size(),
              static_cast<unsigned long long>(failures.ranges_dropped()));
}

} // namespace tarn
