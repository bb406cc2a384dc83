#include "tests/fuzz/fuzz_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tarn::fuzz {

void sparse_source_c::place(std::uint64_t offset, std::span<const std::uint8_t> bytes)
{
    if (offset >= size_)
        return;
    bytes = bytes.first(static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), size_ - offset)));
    const auto* first = reinterpret_cast<const std::byte*>(bytes.data());
    pieces_.push_back({offset, std::vector<std::byte>(first, first + bytes.size())});
}

std::int64_t sparse_source_c::read_at(std::uint64_t offset, std::span<std::byte> out)
{
    if (offset >= size_)
        return 0;
    out = out.first(static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size_ - offset)));
    std::memset(out.data(), 0, out.size());
    const std::uint64_t end = offset + out.size();
    for (const piece_s& piece : pieces_) {
        const std::uint64_t from = std::max(offset, piece.offset);
        const std::uint64_t to = std::min(end, piece.offset + piece.bytes.size());
        if (from < to)
            std::memcpy(out.data() + (from - offset), piece.bytes.data() + (from - piece.offset), to - from);
    }
    return static_cast<std::int64_t>(out.size());
}

const QString& scratch_dir()
{
    // In memory where the system has such a folder: the targets write a file per input, and
    // truncating files on a disk waits for the disk. Kept until exit: the QTemporaryDir removes
    // the folder when the process ends normally.
    static const QString parent = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    static QTemporaryDir dir(parent + QStringLiteral("/tarn-fuzz-XXXXXX"));
    static const QString path = dir.isValid() ? dir.path() : QString();
    if (path.isEmpty())
        std::abort(); // no scratch folder: every result after this would be meaningless
    return path;
}

QString scratch_file(const QString& name, std::span<const std::uint8_t> bytes)
{
    const QString path = scratch_dir() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()))
               != static_cast<qint64>(bytes.size()))
        return {};
    return path;
}

} // namespace tarn::fuzz
