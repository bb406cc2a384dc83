#include "platform/volume_registry.h"

#include <QHash>

#include <mutex>

namespace tarn {

namespace {

// Found partitions are numbered from here on each disk.
constexpr int first_found_number = 1000;

std::mutex registry_mutex;
QHash<QString, device_location_s>& registry()
{
    static QHash<QString, device_location_s> table;
    return table;
}
QHash<QString, device_location_s>& found_registry()
{
    static QHash<QString, device_location_s> table;
    return table;
}

} // namespace

void replace_volume_registry(std::vector<std::pair<QString, device_location_s>> names)
{
    std::lock_guard lock(registry_mutex);
    auto& table = registry();
    table.clear();
    for (auto& [name, location] : names)
        table.insert(name, std::move(location));
}

QString registered_volume_path(int disk, int partition)
{
    std::lock_guard lock(registry_mutex);
    for (const auto* table : {&registry(), &found_registry()})
        for (auto it = table->constBegin(); it != table->constEnd(); ++it)
            if (it.key().startsWith(QLatin1String("\\\\?\\Volume{")) && it->disk_number == disk
                && it->partition_number == partition)
                return it.key();
    return {};
}

int register_found_volume(const QString& name, device_location_s location)
{
    std::lock_guard lock(registry_mutex);
    auto& table = found_registry();
    if (const auto it = table.constFind(name); it != table.constEnd())
        return it->partition_number;
    int number = first_found_number;
    for (const device_location_s& kept : table)
        if (kept.disk_number == location.disk_number)
            number = std::max(number, kept.partition_number + 1);
    location.partition_number = number;
    table.insert(name, location);
    return number;
}

std::optional<device_location_s> find_registered_volume(const QString& name)
{
    std::lock_guard lock(registry_mutex);
    const auto& table = registry();
    const auto it = table.constFind(name);
    if (it == table.constEnd())
        return std::nullopt;
    return *it;
}

} // namespace tarn
