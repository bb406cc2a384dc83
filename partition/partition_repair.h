#pragma once
// The lost-partition search thread, and the partition table repair that writes its finds back
// into sector 0 of the searched disk.

#include "disk/drive_item.h"
#include "partition/master_boot_record.h"
#include "partition/partition_item.h"
#include "partition/partition_table_plan.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

namespace tarn {

class device_c;

// What a repair would do: sector 0 as read from the drive and the table planned from it.
struct repair_preview_s {
    sector_s current{};
    partition_plan_s plan;
    bool operator==(const repair_preview_s&) const = default;
};

class partition_repair_c : public QThread {
    Q_OBJECT

public:
    explicit partition_repair_c(QObject* parent = nullptr);
    // Stops a running search and joins the thread.
    ~partition_repair_c() override;

    // The disk that the next search reads and the repair writes. Refused (-1) while searching.
    int set_drive(const drive_item_s& drive);
    std::optional<drive_item_s> drive() const;

    // Starts a new search of the drive from sector 0, with an empty list.
    void start_search();
    // Asks a running search to end; it does so before its next read, closing the device.
    void request_stop();
    // request_stop() and waits for the thread.
    void stop_search();

    // Safe to call from any thread while the search appends.
    std::vector<partition_item_s> partitions() const;
    std::size_t partition_count() const;
    double progress() const { return progress_.load(); }

    // Searches the drive on the calling thread: 0 when the search ran (to the end, or until a
    // stop), search_disk_silent when the disk stopped answering before its end, -1 when the
    // device cannot be opened.
    int search_partitions(const drive_item_s& drive);
    // What search_partitions returned in the last search the thread ran.
    int last_search_result() const { return search_result_.load(); }

    // Reads sector 0 on the calling thread and plans the table a repair would write. Nothing
    // when a repair would be refused: no drive, a running search, no finds, an unreadable sector.
    std::optional<repair_preview_s> preview_repair() const;
    // Rewrites sector 0 of the drive with our boot code and the planned table (see
    // plan_partition_table), after saving the sector's old content (see backup_path()). 0 when
    // the sector reads back as written.
    int write_partition_table();
    // The same, but only while the repair would still write what the user confirmed: when
    // sector 0 or the finds changed since that preview, -1 and nothing is written.
    int write_partition_table(const repair_preview_s& confirmed);
    // Where the last repair saved the old sector 0; empty when none was saved.
    QString backup_path() const { return backup_path_; }

signals:
    void partition_found();

protected:
    void run() override;

private:
    void append(const partition_item_s& item);
    // The finds a repair writes; none when a repair is refused.
    std::vector<partition_item_s> finds_to_write() const;
    std::optional<repair_preview_s> read_preview(device_c& device, const std::vector<partition_item_s>& found) const;
    int write_checked(const repair_preview_s* confirmed);

    mutable std::mutex partitions_lock_;
    std::vector<partition_item_s> partitions_;
    std::optional<drive_item_s> drive_;
    std::atomic<double> progress_{0.0};
    std::atomic<bool> stop_{false};
    std::atomic<int> search_result_{0};
    QString backup_path_;
};

} // namespace tarn
