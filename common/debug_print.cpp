#include "common/debug_print.h"

#include "platform/system.h"

#include <QString>

#include <cstdarg>

namespace tarn {

void debug_print(const char* format, ...)
{
    // The scan calls this for every entry: without a terminal there is nothing to format for.
    if (!console_attached())
        return;
    va_list args;
    va_start(args, format);
    const QString text = QString::vasprintf(format, args);
    va_end(args);
    console_write(text);
}

} // namespace tarn
