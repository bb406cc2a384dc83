#pragma once
// Where the system's block devices are mounted, read from /proc/self/mountinfo.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>

namespace tarn {

struct space_s {
    std::uint64_t total = 0;
    std::uint64_t free = 0;
};

class mount_table_c {
public:
    // Reads the current table; an unreadable one is an empty table.
    mount_table_c();
    explicit mount_table_c(const QString& mountinfo_text);
    // Mount points of the block device with this device number, in the table's order.
    QStringList mount_points(std::uint64_t device_number) const;

private:
    void parse(const QString& text);
    std::map<std::uint64_t, QStringList> points_;
};

// Device number (major:minor) of a block device node; 0 when path is not one.
std::uint64_t block_device_number(const QString& path);
// Total and free bytes of the file system mounted at path; nothing when it cannot be asked.
bool mounted_space(const QString& path, space_s& out);

} // namespace tarn
