#pragma once
// The engine for FAT volumes: walks every directory (deleted ones too) through the FAT module,
// keeps one finding per start cluster (every directory and every deleted file), then links the
// findings into a tree and marks the folders that hold files.

#include "disk/volume_item.h"
#include "scan/fat_record.h"
#include "scan/fat_volume.h"
#include "scan/counted_engine.h"

#include <unordered_map>

namespace tarn {

class fat_recovery_c final : public counted_engine_c {
    Q_OBJECT
public:
    using counted_engine_c::counted_engine_c;
    ~fat_recovery_c() override;

    void reset() override;
    // recovery_ok when the whole file was written; recovery_not_found, recovery_unwritable, or
    // recovery_incomplete when the copy ended early (a read failure is logged with its place).
    std::int32_t recover_file(std::uint64_t id, QString destination) override;
    std::int32_t get_file_path(std::uint64_t id, QString& path) override;

    // Read after the thread has finished. Records never move, so pointers into it stay valid
    // until the next reset.
    const std::unordered_map<std::uint32_t, fat_record_s>& findings() const { return findings_; }

protected:
    void run() override;

private:
    struct frame_s {
        fat_dir_s dir;
        std::uint32_t parent = 0;
        bool in_deleted = false;
        bool root = false;
        bool read_any = false;
    };
    // Points the module's volume 0 at the chosen volume; false when it cannot be located.
    bool locate_volume();
    void walk();
    // The module's result of opening the frame's folder (fr_ok when it opened).
    int open_frame(frame_s& frame, bool root);
    // One entry of the frame's directory: false when the directory has ended; a directory to
    // walk next is pushed onto stack.
    bool read_entry(frame_s& frame, std::vector<frame_s>& stack);
    // Stores or merges the record; true when its start cluster was not known before.
    bool resolve(fat_record_s&& record);
    void link();
    void mark();

    std::unordered_map<std::uint32_t, fat_record_s> findings_;
    std::vector<char16_t> lfn_ = std::vector<char16_t>(512);
};

// The module's volume object, registered as volume 0 for every FAT scan.
fat_fs_s& fat_volume_object();

} // namespace tarn
