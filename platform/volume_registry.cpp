#include "platform/volume_registry.h"

#include <QHash>

#include <mutex>

namespace tarn {

namespace {

std::mutex registry_mutex;
QHash<QString, device_location_s>& registry()
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
    const auto& table = registry();
    for (auto it = table.constBegin(); it != table.constEnd(); ++it)
        if (it.key().startsWith(QLatin1String("\\\\?\\Volume{")) && it->disk_number == disk
            && it->partition_number == partition)
            return it.key();
    return {};
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
