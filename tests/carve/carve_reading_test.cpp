// How the carving library reads: the scan's reader over bytes held in memory by the blocks read
// ahead, and the library's reads behind a recovery's small steps. Every byte that comes back is
// compared with the volume's own.

#include "libs/carve/carve.h"
#include "libs/carve/carve_reader.h"
#include "libs/carve/carver.h"
#include "libs/carve/header_index.h"
#include "libs/carve/pattern_search.h"
#include "platform/device.h"
#include "platform/memory_source.h"
#include "platform/volume_facts.h"
#include "tests/support/test_support.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
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

bool write_volume(const QString& path, const std::vector<std::byte>& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly)
           && file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()))
                  == static_cast<qint64>(bytes.size());
}

// A gzip member made by zlib of n bytes of few letters.
std::vector<std::byte> gzip_of(std::mt19937& random, std::size_t n)
{
    std::string text(n, 'a');
    for (char& c : text)
        c = static_cast<char>('a' + random() % 6);
    z_stream z{};
    std::vector<std::byte> out(n + 1024);
    if (deflateInit2(&z, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    z.next_in = reinterpret_cast<Bytef*>(text.data());
    z.avail_in = static_cast<uInt>(n);
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const bool ended = deflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(z.total_out);
    deflateEnd(&z);
    return ended ? out : std::vector<std::byte>{};
}

using hit_list = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

hit_list carve_hits(byte_source_c& source)
{
    hit_list hits;
    double progress = 0;
    std::int32_t pause = 0, stop = 0;
    carve_source(source, carve_types(), {&progress, &pause, &stop},
                 [&](const char*, std::uint64_t offset, const carve_found_s& found) { hits.emplace_back(offset, found.total()); });
    return hits;
}

} // namespace

// The two-byte search finds what the standard search finds, for one pattern or the first of two,
// from every start, over texts of few letters (partial matches everywhere) long enough for whole
// vector steps and their tails.
TEST(CarveReading, PatternSearchFindsWhatTheStandardSearchFinds)
{
    std::mt19937 random(9);
    for (int round = 0; round < 400; ++round) {
        const auto letters = static_cast<char>(2 + round % 3);
        std::string text(random() % 150, 'a');
        for (char& c : text)
            c = static_cast<char>('a' + static_cast<char>(random() % static_cast<unsigned>(letters)));
        std::string pattern(1 + random() % 5, 'a');
        for (char& c : pattern)
            c = static_cast<char>('a' + static_cast<char>(random() % static_cast<unsigned>(letters)));
        std::string other(1 + random() % 6, 'a');
        for (char& c : other)
            c = static_cast<char>('a' + static_cast<char>(random() % static_cast<unsigned>(letters)));
        const std::string_view plain(text);
        for (std::size_t from = 0; from <= text.size() + 1; ++from) {
            ASSERT_EQ(find_pattern(text, pattern, from), plain.find(pattern, from)) << text << " / " << pattern << " from " << from;
            ASSERT_EQ(find_either(text, pattern, other, from), std::min(plain.find(pattern, from), plain.find(other, from)))
                << text << " / " << pattern << " or " << other << " from " << from;
        }
    }
}

// The header search over blocks of zeros (where it passes over runs) with headers and stray bytes
// planted at any offset, near the block's end and past the end it is asked about, finds what a
// plain comparison finds (and its format's look at what follows lets through): for the built-in
// types, and for a set whose patterns begin with zeros.
TEST(CarveReading, HeaderSearchOverZerosFindsWhatAPlainComparisonFinds)
{
    // Patterns led by zeros: runs of zeros are passed over unless three zeros may begin one.
    const carve_format_s zero_led{"zl", {std::string_view("\0\0\x01\xBA", 4), std::string_view("\0\x07\x07", 3)}, 1 << 20, nullptr};
    const carve_format_s zero_run{"zr", {std::string_view("\0\0\0\x2A", 4)}, 1 << 20, nullptr};
    const std::vector<carve_type_s> led{{&zero_led, true, 1 << 20}};
    const std::vector<carve_type_s> run{{&zero_led, true, 1 << 20}, {&zero_run, true, 1 << 20}};
    std::mt19937 random(11);
    for (const std::vector<carve_type_s>& types : {carve_types(), led, run}) {
        const header_index_c index(types);
        std::vector<std::pair<std::string_view, const carve_format_s*>> headers;
        for (const carve_type_s& type : types)
            if (type.enabled)
                for (const std::string_view header : type.format->headers)
                    headers.emplace_back(header, type.format);
        for (int round = 0; round < 300; ++round) {
            std::vector<std::byte> block(200 + random() % 2000);
            for (int k = 0; k < 4; ++k) {
                const std::string_view header = headers[random() % headers.size()].first;
                const std::size_t at = random() % block.size();
                std::memcpy(block.data() + at, header.data(), std::min(header.size(), block.size() - at));
                block[random() % block.size()] = static_cast<std::byte>(random());
            }
            const std::size_t end = random() % (block.size() + 1);
            const std::size_t from = random() % (end + 1);
            std::vector<header_match_s> found;
            index.find(block, from, end, found, SIZE_MAX);
            std::vector<std::pair<std::size_t, const char*>> got, expected;
            for (const header_match_s& match : found)
                got.emplace_back(match.at, match.candidate->header.data());
            for (std::size_t i = from; i < std::min(end, block.size() - 1); ++i)
                for (const auto& [header, format] : headers)
                    if (i + header.size() <= block.size() && std::memcmp(block.data() + i, header.data(), header.size()) == 0
                        && (format->header_test == nullptr || format->header_test(std::span(block).subspan(i))))
                        expected.emplace_back(i, header.data());
            std::sort(got.begin(), got.end());
            std::sort(expected.begin(), expected.end());
            ASSERT_EQ(got, expected) << "round " << round << ", " << types.size() << " types";
        }
    }
}

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
    const QString path = dir.filePath("volume.img");
    ASSERT_TRUE(write_volume(path, volume));
    const uintptr_t handle = carve_open(QFile::encodeName(path).constData());
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

// The volume stays open from one recovery to the next, but not past a change of the file behind
// its name: an image replaced by another (a new file) or rewritten in place is read anew.
TEST(CarveReading, RecoveriesReadTheVolumeAsItIsNow)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("volume.img");
    const QByteArray name = QFile::encodeName(path);
    const auto first_bytes = [&](std::vector<char>& out) {
        const uintptr_t handle = carve_open(name.constData());
        const bool read = handle != 0 && carve_read(handle, out.data(), CARVE_READ_STEP) == CARVE_READ_STEP;
        carve_close(handle);
        return read;
    };
    std::vector<char> got(CARVE_READ_STEP);
    for (unsigned version = 0; version < 3; ++version) {
        const std::vector<std::byte> volume = random_volume(1 << 20, 20 + version);
        if (version == 1) {
            // A new file renamed over the old one.
            ASSERT_TRUE(write_volume(path + ".new", volume));
            ASSERT_TRUE(QFile::remove(path));
            ASSERT_TRUE(QFile::rename(path + ".new", path));
        } else {
            ASSERT_TRUE(write_volume(path, volume));
        }
        for (int twice = 0; twice < 2; ++twice) {
            ASSERT_TRUE(first_bytes(got)) << version;
            EXPECT_EQ(std::memcmp(got.data(), volume.data(), got.size()), 0) << "version " << version;
        }
    }
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_EQ(carve_open(name.constData()), 0u) << "a volume that is gone opens no more";
}

// The scan over a volume seen in place, a partition that starts off a page of its image, finds
// what the scan over the same bytes read into memory finds, and what was planted: gzip streams
// whose headers cross the ends of the scan's 2 MiB blocks, at odd offsets, and at the end.
TEST(CarveReading, AVolumeSeenInPlaceGivesTheHitsOfOneRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("disk.img");
    constexpr std::uint64_t start = 63 * 512, size = 8 << 20, block = 2 << 20;
    std::vector<std::byte> disk = random_volume(start + size + 4096, 31);
    std::mt19937 random(32);
    hit_list planted;
    std::vector<std::uint64_t> places{777};
    for (std::uint64_t end = block, k = 1; end < size; end += block, ++k)
        places.insert(places.end(), {end - 200000, end - k, end + 65537}); // a header split after its k-th byte
    for (std::size_t i = 0; i <= places.size(); ++i) {
        const std::vector<std::byte> packed = gzip_of(random, 2000 + random() % 30000);
        ASSERT_FALSE(packed.empty());
        const std::uint64_t at = i < places.size() ? places[i] : size - packed.size(); // the last one ends with the volume
        std::copy(packed.begin(), packed.end(), disk.begin() + static_cast<std::ptrdiff_t>(start + at));
        planted.emplace_back(at, packed.size());
    }
    ASSERT_TRUE(write_volume(path, disk));
    ASSERT_EQ(test::write_partition_table(path, QString("label: dos\nstart=63, size=%1, type=83\n").arg(size / 512)), 0);
    qputenv("TARN_DISKS", path.toUtf8());
    enumerate_volume_facts();
    const auto partition = device_c::open(path + "#1", access_e::read);
    qunsetenv("TARN_DISKS");
    ASSERT_TRUE(partition);
    ASSERT_FALSE(partition->map_at(0, 4096).empty()) << "the partition is not seen in place";
    memory_source_c copied(std::vector<std::byte>(disk.begin() + start, disk.begin() + start + size));
    const hit_list in_place = carve_hits(*partition);
    EXPECT_EQ(in_place, carve_hits(copied));
    EXPECT_EQ(in_place, planted);
}
