#pragma once
// The lost-partition search thread, and the partition table repair that writes its finds back
// into the searched disk's partition table: its MBR, or its GPT.

#include "disk/drive_item.h"
#include "partition/disk_table.h"
#include "partition/partition_item.h"
#include "partition/repair_plan.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

namespace tarn {

class device_c;

// What a repair would do: the table as read from the drive, the plan made from it, and the
// sectors the plan would overwrite as they are now.
struct repair_preview_s {
    disk_table_s disk;
    std::vector<guid_s> fresh; // the new GUIDs the plan took its own from
    repair_plan_s plan;
    std::vector<sector_write_s> before;
    bool operator==(const repair_preview_s&) const = default;
};

// The kind of table the disk at `path` holds; nothing when it cannot be read.
std::optional<table_kind_e> read_table_kind(const QString& path);

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

    // Reads the disk's table on the calling thread and plans what a repair would write (see
    // plan_repair). Nothing when a repair would be refused: no drive, a running search, nothing
    // to write from, an unreadable sector. A plan without writes means the table is sound.
    std::optional<repair_preview_s> preview_repair() const;
    // Writes the plan, after saving the old content of every sector it overwrites in one file
    // (see backup_path()). 0 when every sector reads back as written, and when the table is sound
    // and nothing was written.
    int write_partition_table();
    // The same, but only while the repair would still write what the user confirmed: when the
    // disk's table or the finds changed since that preview, -1 and nothing is written.
    int write_partition_table(const repair_preview_s& confirmed);
    // Where the last repair saved the sectors it overwrote; empty when none were saved.
    QString backup_path() const { return backup_path_; }
    // The kind of table the disk held when the last search began.
    table_kind_e table_kind_found() const { return table_kind_.load(); }

signals:
    void partition_found();

protected:
    void run() override;

private:
    void append(const partition_item_s& item);
    // A repair may run: a drive with its geometry, and no search running.
    bool repair_allowed() const;
    std::optional<repair_preview_s> read_preview(device_c& device, std::vector<guid_s> fresh) const;
    int write_checked(const repair_preview_s* confirmed);
    // 0 when every run of the plan reads back as written.
    int read_back(const repair_preview_s& preview) const;

    mutable std::mutex partitions_lock_;
    std::vector<partition_item_s> partitions_;
    std::optional<drive_item_s> drive_;
    std::atomic<double> progress_{0.0};
    std::atomic<bool> stop_{false};
    std::atomic<int> search_result_{0};
    std::atomic<table_kind_e> table_kind_{table_kind_e::none};
    QString backup_path_;
};

} // namespace tarn
