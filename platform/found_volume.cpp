#include "platform/found_volume.h"

namespace tarn {

namespace {

constexpr std::uint64_t sector = 512;

QString prefix()
{
    return QStringLiteral("\\\\?\\Volume{found:");
}

// The number that ends at the first stop in text from at on; false when there is none or it
// does not fit 64 bits.
bool take_number(const QString& text, qsizetype& at, QChar stop, std::uint64_t& value)
{
    const qsizetype end = text.indexOf(stop, at);
    if (end <= at)
        return false;
    bool ok = false;
    value = text.mid(at, end - at).toULongLong(&ok, 10);
    at = end + 1;
    return ok;
}

} // namespace

QString found_volume_path(const QString& disk, std::uint64_t start_sector, std::uint64_t sectors)
{
    return prefix() + QString::number(start_sector) + QLatin1Char('+') + QString::number(sectors) + QLatin1Char(':')
           + disk + QStringLiteral("}\\");
}

bool is_found_volume_path(const QString& name)
{
    return name.startsWith(prefix());
}

std::optional<device_location_s> locate_found_volume(const QString& name)
{
    QString body = name;
    if (body.endsWith(QLatin1Char('\\')))
        body.chop(1);
    if (!is_found_volume_path(body) || !body.endsWith(QLatin1Char('}')))
        return std::nullopt;
    body.chop(1);
    qsizetype at = prefix().size();
    std::uint64_t start = 0, sectors = 0;
    if (!take_number(body, at, QLatin1Char('+'), start) || !take_number(body, at, QLatin1Char(':'), sectors)
        || sectors == 0 || start > UINT64_MAX / sector || sectors > UINT64_MAX / sector
        || start * sector > UINT64_MAX - sectors * sector)
        return std::nullopt;
    const QString disk = body.mid(at);
    if (disk.isEmpty() || is_found_volume_path(disk))
        return std::nullopt;
    std::optional<device_location_s> location = locate_device(disk);
    // Only a whole disk: sectors counted from a partition's start would be another place.
    if (!location || location->partition_number != 0 || location->offset > UINT64_MAX - start * sector)
        return std::nullopt;
    location->offset += start * sector;
    if (location->length && (*location->length <= start * sector || *location->length - start * sector < sectors * sector))
        return std::nullopt;
    location->length = sectors * sector;
    location->start_on_disk = start * sector;
    return location;
}

} // namespace tarn
