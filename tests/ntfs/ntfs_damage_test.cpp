// The NTFS library on damaged volumes read from memory: bytes of the master file table flipped
// at random (fixups, attribute lengths, parent references), and the volume cut short. Every scan
// ends, every recovery returns; nothing crashes.

#include "libs/ntfs_scan/ntfs_scan.h"
#include "libs/ntfs_scan/ntfs_scan_source.h"
#include "platform/byte_source.h"
#include "platform/memory_source.h"
#include "tests/ntfs/ntfs_volume.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

using namespace tarn;

namespace {

// Scans the whole volume and writes every delivered record out; the number delivered, or -1
// when the volume did not open.
int scan_everything(std::vector<std::byte> bytes, const QString& scratch)
{
    alignas(8) std::array<std::byte, NTFS_SCAN_CONTEXT_BYTES> context{};
    if (ntfs_scan_startup_source(std::make_unique<memory_source_c>(std::move(bytes)), context.data()) != 0)
        return -1;
    std::array<std::byte, NTFS_SCAN_RECORD_BYTES> record{};
    int delivered = 0;
    while (delivered < 100000 && ntfs_scan_next(context.data(), record.data()) == 1) {
        ++delivered;
        const std::uint64_t number = load_le64(record, 0);
        ntfs_scan_recover(context.data(), static_cast<std::uint32_t>(number), static_cast<std::uint32_t>(number >> 32),
                          QFile::encodeName(scratch).constData(), nullptr);
        record.fill(std::byte{0});
    }
    ntfs_scan_cleanup(context.data());
    return delivered;
}

TEST(NtfsDamage, FlippedMftBytesAndCutVolumesEndCleanly)
{
    QTemporaryDir dir;
    const QString image = dir.filePath("ntfs.img");
    ASSERT_EQ(test::make_ntfs_volume(image, 16ll << 20,
                                     {"mkdir", "/D", "fill", "/D/a.bin", "70000", "1", "fill", "/D/b.txt", "200", "2",
                                      "rm", "/D/a.bin"}),
              0);
    QFile file(image);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray read = file.readAll();
    std::vector<std::byte> clean(reinterpret_cast<const std::byte*>(read.data()),
                                 reinterpret_cast<const std::byte*>(read.data()) + read.size());
    const QString scratch = dir.filePath("out.bin");
    const int intact = scan_everything(clean, scratch);
    ASSERT_GT(intact, 12);

    const std::uint64_t cluster = std::uint64_t{load_le16(clean, 11)} * std::to_integer<std::uint8_t>(clean[13]);
    const std::uint64_t mft = load_le64(clean, 48) * cluster;
    ASSERT_LT(mft + 64 * 1024, clean.size());
    std::mt19937 random(20240115);
    for (int variant = 0; variant < 60; ++variant) {
        std::vector<std::byte> damaged = clean;
        for (int flip = 0; flip < 40; ++flip)
            damaged[mft + random() % (64 * 1024)] = static_cast<std::byte>(random());
        EXPECT_LE(scan_everything(std::move(damaged), scratch), 100000) << variant;
    }
    for (const std::uint64_t cut : {std::uint64_t{512}, mft, mft + 4096, clean.size() / 2})
        EXPECT_LE(scan_everything(std::vector<std::byte>(clean.begin(), clean.begin() + static_cast<std::ptrdiff_t>(cut)), scratch),
                  intact);
}

} // namespace
