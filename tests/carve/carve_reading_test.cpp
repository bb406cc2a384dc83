// How the carving library reads: the scan's reader over bytes held in memory by the blocks read
// ahead, and the library's reads behind a recovery's small steps. Every byte that comes back is
// compared with the volume's own.

#include "libs/carve/carve.h"
#include "libs/carve/carve_reader.h"
#include "platform/memory_source.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>
#include <zlib.h>

using namespace tarn;

namespace {

std::vector<std::byte> random_volume(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::byte> bytes(size);
    for (std::byte& b : bytes)
        b = static_cast<std::byte>(random());
    return bytes;
}

// Holds copies of some ranges of the volume, as the read-ahead holds its blocks.
class held_ranges_c final : public carve_resident_i {
public:
    held_ranges_c(const std::vector<std::byte>& volume, std::vector<std::pair<std::size_t, std::size_t>> ranges)
    {
        for (const auto& [at, size] : ranges)
            held_.push_back({at, std::vector<std::byte>(volume.begin() + at, volume.begin() + at + size)});
    }
    std::span<const std::byte> held(std::uint64_t offset, std::uint64_t& at) override
    {
        for (const auto& [from, bytes] : held_)
            if (offset >= from && offset - from < bytes.size()) {
                at = from;
                return bytes;
            }
        return {};
    }

private:
    std::vector<std::pair<std::uint64_t, std::vector<std::byte>>> held_;
};

} // namespace

// Reads, views and CRCs at offsets inside, across and outside the held ranges, and near the
// volume's end, give the volume's bytes; a view says by the reader's count when it may be stale.
TEST(CarveReading, ReaderGivesTheVolumesBytesWhereverTheyAreHeld)
{
    const std::vector<std::byte> volume = random_volume(3 << 20, 3);
    memory_source_c source(volume);
    held_ranges_c held(volume, {{1 << 20, 1 << 19}, {(1 << 20) + (1 << 19), 4096}, {(3 << 20) - 5000, 5000}});
    carve_reader_c reader(source);
    reader.set_resident(&held);
    std::mt19937 random(9);
    for (int i = 0; i < 4000; ++i) {
        const std::uint64_t at = i % 3 == 0 ? (1 << 20) + (1 << 19) - 50 + random() % 100 : random() % volume.size();
        const std::size_t size = 1 + random() % (i % 10 == 0 ? 200000 : 9000);
        std::vector<std::byte> out(size);
        const bool inside = at + size <= volume.size();
        ASSERT_EQ(reader.read(at, out), inside) << at << " " << size;
        if (inside) {
            ASSERT_TRUE(std::equal(out.begin(), out.end(), volume.begin() + at)) << at << " " << size;
        }
        const std::uint64_t moves = reader.window_moves();
        const auto view = reader.view(at, size);
        ASSERT_GE(view.size(), std::min<std::uint64_t>({size, 4096, volume.size() - at}));
        ASSERT_TRUE(std::equal(view.begin(), view.end(), volume.begin() + at)) << at << " " << size;
        if (i % 7 == 0)
            reader.forget_window();
        std::uint32_t crc = 0;
        const std::uint64_t length = std::min<std::uint64_t>(size, volume.size() - at);
        ASSERT_TRUE(reader.crc32(at, length, crc));
        ASSERT_EQ(crc, ::crc32(0, reinterpret_cast<const Bytef*>(volume.data() + at), static_cast<uInt>(length)));
        if (reader.window_moves() == moves) { // nothing moved: the first view still shows its bytes
            ASSERT_TRUE(std::equal(view.begin(), view.end(), volume.begin() + at));
        }
    }
}

// A recovery reads in the library's small steps; the reads behind them grow while they go on.
// Byte ranges of many sizes at odd offsets, read step by step, are the volume's bytes.
TEST(CarveReading, RecoveryStepsGiveTheVolumesBytes)
{
    const std::vector<std::byte> volume = random_volume(6 << 20, 4);
    QTemporaryDir dir;
    QFile file(dir.filePath("volume.img"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(reinterpret_cast<const char*>(volume.data()), static_cast<qint64>(volume.size())),
              static_cast<qint64>(volume.size()));
    file.close();
    const uintptr_t handle = carve_open(QFile::encodeName(file.fileName()).constData());
    ASSERT_NE(handle, 0u);
    std::mt19937 random(6);
    std::vector<char> step(CARVE_READ_STEP);
    for (int i = 0; i < 300; ++i) {
        const std::uint64_t size = i < 3 ? std::uint64_t{5} << 20 : 1 + random() % (i % 4 == 0 ? 3 << 20 : 70000);
        const std::uint64_t at = random() % (volume.size() - size);
        ASSERT_EQ(carve_seek(handle, static_cast<std::uint32_t>(at), 0, 0), 0);
        for (std::uint64_t done = 0; done < size;) {
            const int32_t got = carve_read(handle, step.data(), CARVE_READ_STEP);
            ASSERT_GT(got, 0) << at << " + " << done;
            const auto take = std::min<std::uint64_t>(static_cast<std::uint64_t>(got), size - done);
            ASSERT_EQ(std::memcmp(step.data(), volume.data() + at + done, take), 0) << at << " + " << done;
            done += take;
        }
    }
    carve_close(handle);
}
