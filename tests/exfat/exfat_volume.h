#pragma once
// exFAT test volumes: made by mkfs.exfat, then either written through the FUSE driver (as root,
// where /dev/fuse exists), or edited by hand in memory for what no real tool makes (damaged boot
// regions, reused slots, loops in the FAT).

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace tarn::test {

// Formats an exFAT file system over the whole of a new image of the given size: 4 KiB clusters,
// its structures packed at the start (so that a small volume keeps them in few kilobytes).
// size bytes that differ from cluster to cluster and from seed to seed.
QByteArray exfat_pattern(int size, char seed);

int format_exfat(const QString& image, std::uint64_t bytes, const QString& label = QStringLiteral("TESTCARD"));

// Why the FUSE driver cannot be used here; empty when it can.
QString exfat_fuse_unavailable();

// The image mounted read-write through a loop device and the FUSE driver for the life of the
// object; unmounting waits until the driver has written everything back and ended.
class exfat_mount_c {
public:
    exfat_mount_c(const QString& image, const QString& mount_point);
    ~exfat_mount_c();
    exfat_mount_c(const exfat_mount_c&) = delete;
    exfat_mount_c& operator=(const exfat_mount_c&) = delete;
    bool mounted() const { return mounted_; }
    // Unmounts now; true when the driver ended cleanly.
    bool unmount();

private:
    QString mount_point_;
    QString loop_;
    qint64 driver_pid_ = 0;
    bool mounted_ = false;
};

// An mkfs.exfat image in memory, with what the hand-made cases need to change in it.
struct exfat_set_spec_s {
    std::u16string name;
    std::uint16_t attributes = 0x20;
    std::uint32_t first_cluster = 0;
    std::uint64_t size = 0;
    std::uint64_t valid_size = UINT64_MAX; // UINT64_MAX: the size
    bool no_fat_chain = true;
    bool deleted = true;
    std::uint32_t modified = 0x58AF5A2Bu; // 2024-05-15 11:17:22 as date and time words
    std::uint8_t modified_10ms = 0;
    std::uint8_t modified_utc = 0;        // bit 7: valid
};

class exfat_image_c {
public:
    // Formats an image of the given size and loads it; empty bytes() when that failed.
    exfat_image_c(const QString& scratch, std::uint64_t bytes);
    std::vector<std::byte>& bytes() { return bytes_; }
    std::uint32_t cluster_bytes() const { return cluster_bytes_; }
    std::uint32_t root_cluster() const { return root_; }
    std::uint32_t cluster_count() const { return clusters_; }
    std::size_t cluster_offset(std::uint32_t c) const;
    // The first cluster from c on that nothing uses (bitmap clear), for new data.
    std::uint32_t free_cluster(std::uint32_t from) const;
    void set_fat(std::uint32_t c, std::uint32_t value);
    void set_used(std::uint32_t c, bool used);
    // Marks clusters [first, first + count) used, with a FAT chain through them unless contiguous.
    void allocate(std::uint32_t first, std::uint32_t count, bool chain);
    // Writes the set at slot `slot` of cluster `cluster`; returns the slots it took.
    std::size_t put_set(std::uint32_t cluster, std::size_t slot, const exfat_set_spec_s& spec);
    // The slot of the first entry of the given type in the root's first cluster; -1 for none.
    int root_slot(std::uint8_t type) const;
    // Re-writes the boot checksum sector of the main region (0) or the backup (1).
    void seal_boot(int copy);
    int save(const QString& path) const;

private:
    std::vector<std::byte> bytes_;
    std::uint32_t sector_bytes_ = 512;
    std::uint32_t cluster_bytes_ = 4096;
    std::uint64_t fat_at_ = 0;
    std::uint64_t heap_at_ = 0;
    std::uint32_t clusters_ = 0;
    std::uint32_t root_ = 0;
    std::uint64_t bitmap_at_ = 0;
};

} // namespace tarn::test
