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
    const QByteArray data = in.readAll();
    const auto size = static_cast<std::size_t>(data.size());
    if (size < scan_file_header_bytes + scan_file_record_bytes || (size - scan_file_header_bytes) % scan_file_record_bytes != 0)
        return {};
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data.constData()), size);
    std::vector<raw_hit_s> read((size - scan_file_header_bytes) / scan_file_record_bytes);
    for (std::size_t i = 0; i < read.size(); ++i) {
        const std::size_t at = scan_file_header_bytes + i * scan_file_record_bytes;
        read[i].sequence = load_le64(bytes, at);
        read[i].offset = load_le64(bytes, at + 8);
        read[i].size = load_le64(bytes, at + 16);
        std::memcpy(read[i].extension, bytes.data() + at + 24, sizeof read[i].extension);
        if (read[i].sequence != i)
            return {};
    }
    const QByteArray header(data.constData(), static_cast<qsizetype>(qstrnlen(data.constData(), scan_file_header_bytes)));
    hits = std::move(read);
    return QString::fromLocal8Bit(header);
}

} // namespace tarn
