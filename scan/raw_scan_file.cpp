#include "scan/raw_scan_file.h"

#include "platform/byte_source.h"

#include <QFile>
#include <QSaveFile>

#include <array>
#include <cstring>

namespace tarn {

int save_scan_file(const QString& path, const QString& device_path, const std::vector<raw_hit_s>& hits)
{
    const QByteArray name = device_path.toLocal8Bit();
    if (hits.empty() || static_cast<std::size_t>(name.size()) >= scan_file_header_bytes)
        return -1;
    std::vector<std::byte> bytes(scan_file_header_bytes + hits.size() * scan_file_record_bytes);
    std::memcpy(bytes.data(), name.constData(), static_cast<std::size_t>(name.size()));
    std::span<std::byte> records(bytes.data() + scan_file_header_bytes, hits.size() * scan_file_record_bytes);
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const std::size_t at = i * scan_file_record_bytes;
        store_le64(records, at, hits[i].sequence);
        store_le64(records, at + 8, hits[i].offset);
        store_le64(records, at + 16, hits[i].size);
        std::memcpy(records.data() + at + 24, hits[i].extension, 8);
    }
    // Written whole or not at all: a file cut short by a full disk would later be refused.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return -1;
    const auto size = static_cast<qint64>(bytes.size());
    if (out.write(reinterpret_cast<const char*>(bytes.data()), size) != size)
        return -1;
    return out.commit() ? 0 : -1;
}

QString load_scan_file(const QString& path, std::vector<raw_hit_s>& hits)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    const auto size = static_cast<std::size_t>(in.size());
    if (size < scan_file_header_bytes + scan_file_record_bytes || (size - scan_file_header_bytes) % scan_file_record_bytes != 0)
        return {};
    std::array<char, scan_file_header_bytes> header{};
    if (in.read(header.data(), header.size()) != static_cast<qint64>(header.size()))
        return {};
    // Read a block of records at a time: a file of millions of records is not held twice.
    constexpr std::size_t block_records = 1 << 15;
    std::vector<std::byte> block(block_records * scan_file_record_bytes);
    std::vector<raw_hit_s> read;
    read.reserve((size - scan_file_header_bytes) / scan_file_record_bytes);
    while (read.size() < read.capacity()) {
        const std::size_t count = std::min(block_records, read.capacity() - read.size());
        const std::span<std::byte> bytes(block.data(), count * scan_file_record_bytes);
        if (in.read(reinterpret_cast<char*>(bytes.data()), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
            return {};
        for (std::size_t i = 0; i < count; ++i) {
            raw_hit_s& hit = read.emplace_back();
            const std::size_t at = i * scan_file_record_bytes;
            hit.sequence = load_le64(bytes, at);
            hit.offset = load_le64(bytes, at + 8);
            hit.size = load_le64(bytes, at + 16);
            std::memcpy(hit.extension, bytes.data() + at + 24, sizeof hit.extension);
            if (hit.sequence != read.size() - 1)
                return {};
        }
    }
    hits = std::move(read);
    return QString::fromLocal8Bit(header.data(), static_cast<qsizetype>(qstrnlen(header.data(), header.size())));
}

} // namespace tarn
