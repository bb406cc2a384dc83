#include "tests/exfat/exfat_volume.h"

#include "platform/byte_source.h"
#include "tests/support/test_support.h"

#include <QChar>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace tarn::test {

QByteArray exfat_pattern(int size, char seed)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = static_cast<char>(seed + i * 7 + i / 4096);
    return b;
}

namespace {

bool is_mounted(const QString& mount_point)
{
    QFile info(QStringLiteral("/proc/self/mountinfo"));
    if (!info.open(QIODevice::ReadOnly))
        return false;
    const QByteArray needle = ' ' + QFile::encodeName(mount_point) + ' ';
    return info.readAll().contains(needle);
}

std::uint16_t set_checksum(const std::vector<std::byte>& set)
{
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < set.size(); ++i)
        if (i != 2 && i != 3)
            sum = static_cast<std::uint16_t>(((sum & 1) ? 0x8000u : 0) + (sum >> 1) + std::to_integer<unsigned>(set[i]));
    return sum;
}

std::uint16_t name_hash(const std::u16string& name)
{
    std::uint16_t hash = 0;
    for (char16_t c : name) {
        const auto up = static_cast<char16_t>(QChar::toUpper(static_cast<char32_t>(c)));
        for (unsigned part : {up & 0xFFu, static_cast<unsigned>(up >> 8)})
            hash = static_cast<std::uint16_t>(((hash & 1) ? 0x8000u : 0) + (hash >> 1) + part);
    }
    return hash;
}

} // namespace

int format_exfat(const QString& image, std::uint64_t bytes, const QString& label)
{
    if (make_sparse_file(image, bytes) != 0)
        return -1;
    QString output;
    const int rc = run_tool(QStringLiteral("mkfs.exfat"), {"-c", "4K", "-b", "4K", "-L", label, image}, &output);
    return rc == 0 ? 0 : -1;
}

QString exfat_fuse_unavailable()
{
    if (::geteuid() != 0)
        return QStringLiteral("needs root (loop devices and FUSE mounts)");
    if (!QFile::exists(QStringLiteral("/dev/fuse")))
        return QStringLiteral("no /dev/fuse");
    if (!have_tool(QStringLiteral("mount.exfat-fuse")) || !have_tool(QStringLiteral("losetup")))
        return QStringLiteral("mount.exfat-fuse or losetup missing (scripts/deps installs them)");
    return {};
}

exfat_mount_c::exfat_mount_c(const QString& image, const QString& mount_point) : mount_point_(mount_point)
{
    QString loop;
    if (run_tool(QStringLiteral("losetup"), {"-f", "--show", image}, &loop) != 0)
        return;
    loop_ = loop.trimmed();
    // In the foreground (-d), so that this object owns the driver and can wait for its end.
    if (!QProcess::startDetached(QStringLiteral("sh"),
                                 {"-c", QStringLiteral("exec mount.exfat-fuse -d -o noatime %1 %2 >/dev/null 2>&1").arg(loop_, mount_point)},
                                 {}, &driver_pid_))
        return;
    for (QDeadlineTimer deadline(20000); !deadline.hasExpired() && !mounted_; QThread::msleep(20))
        mounted_ = is_mounted(mount_point);
}

bool exfat_mount_c::unmount()
{
    bool clean = true;
    if (mounted_) {
        clean = run_tool(QStringLiteral("umount"), {mount_point_}) == 0;
        mounted_ = false;
    }
    // The driver writes back what it holds before it ends; the loop device goes after it.
    for (QDeadlineTimer deadline(30000); driver_pid_ > 0 && ::kill(static_cast<pid_t>(driver_pid_), 0) == 0;) {
        if (deadline.hasExpired()) {
            clean = false;
            break;
        }
        QThread::msleep(20);
    }
    driver_pid_ = 0;
    if (!loop_.isEmpty())
        clean = run_tool(QStringLiteral("losetup"), {"-d", loop_}) == 0 && clean;
    loop_.clear();
    return clean;
}

exfat_mount_c::~exfat_mount_c()
{
    unmount();
}

exfat_image_c::exfat_image_c(const QString& scratch, std::uint64_t bytes)
{
    const QString path = scratch + QStringLiteral("/made.img");
    QFile file(path);
    if (format_exfat(path, bytes) != 0 || !file.open(QIODevice::ReadOnly))
        return;
    const QByteArray all = file.readAll();
    bytes_.resize(static_cast<std::size_t>(all.size()));
    std::memcpy(bytes_.data(), all.constData(), bytes_.size());
    sector_bytes_ = 1u << std::to_integer<unsigned>(bytes_[108]);
    cluster_bytes_ = sector_bytes_ << std::to_integer<unsigned>(bytes_[109]);
    fat_at_ = std::uint64_t{load_le32(bytes_, 80)} * sector_bytes_;
    heap_at_ = std::uint64_t{load_le32(bytes_, 88)} * sector_bytes_;
    clusters_ = load_le32(bytes_, 92);
    root_ = load_le32(bytes_, 96);
    const int bitmap = root_slot(0x81);
    if (bitmap >= 0)
        bitmap_at_ = cluster_offset(load_le32(bytes_, cluster_offset(root_) + bitmap * 32 + 20));
}

std::size_t exfat_image_c::cluster_offset(std::uint32_t c) const
{
    return static_cast<std::size_t>(heap_at_ + std::uint64_t{c - 2} * cluster_bytes_);
}

std::uint32_t exfat_image_c::free_cluster(std::uint32_t from) const
{
    for (std::uint32_t c = std::max(from, 2u); c < clusters_ + 2; ++c)
        if ((std::to_integer<unsigned>(bytes_[bitmap_at_ + (c - 2) / 8]) >> ((c - 2) % 8) & 1) == 0)
            return c;
    return 0;
}

void exfat_image_c::set_fat(std::uint32_t c, std::uint32_t value)
{
    store_le32(bytes_, fat_at_ + std::uint64_t{c} * 4, value);
}

void exfat_image_c::set_used(std::uint32_t c, bool used)
{
    std::byte& b = bytes_[bitmap_at_ + (c - 2) / 8];
    const auto bit = static_cast<std::byte>(1u << ((c - 2) % 8));
    b = used ? (b | bit) : (b & ~bit);
}

void exfat_image_c::allocate(std::uint32_t first, std::uint32_t count, bool chain)
{
    for (std::uint32_t c = first; c < first + count; ++c) {
        set_used(c, true);
        if (chain)
            set_fat(c, c + 1 < first + count ? c + 1 : 0xFFFFFFFFu);
    }
}

std::size_t exfat_image_c::put_set(std::uint32_t cluster, std::size_t slot, const exfat_set_spec_s& spec)
{
    const std::size_t names = (spec.name.size() + 14) / 15;
    std::vector<std::byte> set((2 + names) * 32);
    set[0] = std::byte{0x85};
    set[1] = static_cast<std::byte>(1 + names);
    store_le16(set, 4, spec.attributes);
    for (std::size_t at : {8u, 12u, 16u})
        store_le32(set, at, spec.modified);
    set[21] = std::byte{spec.modified_10ms};
    set[23] = std::byte{spec.modified_utc};
    set[32] = std::byte{0xC0};
    set[33] = static_cast<std::byte>(0x01 | (spec.no_fat_chain ? 0x02 : 0));
    set[35] = static_cast<std::byte>(spec.name.size());
    store_le16(set, 36, name_hash(spec.name));
    store_le64(set, 40, spec.valid_size == UINT64_MAX ? spec.size : spec.valid_size);
    store_le32(set, 52, spec.first_cluster);
    store_le64(set, 56, spec.size);
    for (std::size_t i = 0; i < spec.name.size(); ++i) {
        if (i % 15 == 0)
            set[64 + i / 15 * 32] = std::byte{0xC1};
        store_le16(set, 64 + i / 15 * 32 + 2 + i % 15 * 2, spec.name[i]);
    }
    store_le16(set, 2, set_checksum(set));
    if (spec.deleted)
        for (std::size_t at = 0; at < set.size(); at += 32)
            set[at] &= std::byte{0x7F};
    std::memcpy(bytes_.data() + cluster_offset(cluster) + slot * 32, set.data(), set.size());
    return set.size() / 32;
}

int exfat_image_c::root_slot(std::uint8_t type) const
{
    for (std::size_t slot = 0; slot < cluster_bytes_ / 32; ++slot)
        if (std::to_integer<std::uint8_t>(bytes_[cluster_offset(root_) + slot * 32]) == type)
            return static_cast<int>(slot);
    return -1;
}

void exfat_image_c::seal_boot(int copy)
{
    const std::size_t base = static_cast<std::size_t>(copy) * 12 * sector_bytes_;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 11 * sector_bytes_; ++i)
        if (i != 106 && i != 107 && i != 112)
            sum = ((sum & 1) ? 0x80000000u : 0) + (sum >> 1) + std::to_integer<std::uint32_t>(bytes_[base + i]);
    for (std::size_t at = 0; at < sector_bytes_; at += 4)
        store_le32(bytes_, base + 11 * sector_bytes_ + at, sum);
}

int exfat_image_c::save(const QString& path) const
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
                   && file.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<qint64>(bytes_.size()))
                          == static_cast<qint64>(bytes_.size())
               ? 0
               : -1;
}

} // namespace tarn::test
