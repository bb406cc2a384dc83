#include "libs/carve/carve_config.h"

#include <QFile>
#include <QStringList>

#include <cstdio>

namespace tarn {

namespace {

std::vector<carve_type_s> defaults()
{
    std::vector<carve_type_s> types;
    for (const carve_format_s* format : carve_formats())
        types.push_back({format, true, format->largest});
    return types;
}

bool apply_line(const QString& line, std::vector<carve_type_s>& types)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() < 2 || words.size() > 3 || (words[1] != QLatin1String("on") && words[1] != QLatin1String("off")))
        return false;
    for (carve_type_s& type : types) {
        if (words[0] != QLatin1String(type.format->extension))
            continue;
        bool ok = true;
        const std::uint64_t largest = words.size() == 3 ? words[2].toULongLong(&ok) : type.largest;
        if (!ok || largest == 0)
            return false;
        type.enabled = words[1] == QLatin1String("on");
        type.largest = largest;
        return true;
    }
    return false;
}

} // namespace

std::vector<carve_type_s>& carve_types()
{
    static std::vector<carve_type_s> types = defaults();
    return types;
}

int load_carve_config(const QString& path)
{
    std::vector<carve_type_s> types = defaults();
    QFile file(path);
    if (!file.exists()) {
        carve_types() = types;
        return 0;
    }
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        QString line = QString::fromUtf8(file.readLine(4096)).simplified();
        if (const qsizetype hash = line.indexOf(QLatin1Char('#')); hash >= 0)
            line.truncate(hash);
        if (line.trimmed().isEmpty())
            continue;
        if (!apply_line(line.trimmed(), types))
            std::fprintf(stderr, "carve: %s line %d is not \"extension on|off [largest-bytes]\" for a known type; skipped\n",
                         qUtf8Printable(path), number);
    }
    carve_types() = types;
    return 0;
}

} // namespace tarn
