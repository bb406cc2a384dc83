#include "tests/pages/pages_fixture.h"

#include "disk/volume_enumeration.h"
#include "scan/disk_sector_layer.h"
#include "tests/fat/fat_builder.h"
#include "tests/ntfs/ntfs_volume.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QTest>
#include <QFileDialog>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTimer>

#include <ctime>

namespace tarn::test {

namespace {

QByteArray picture_png()
{
    QImage image(320, 200, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 200);
    sky.setColorAt(0, QColor(90, 160, 230));
    sky.setColorAt(1, QColor(250, 210, 150));
    painter.fillRect(image.rect(), sky);
    painter.setBrush(QColor(255, 230, 90));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPoint(230, 70), 30, 30);
    painter.setBrush(QColor(40, 120, 70));
    painter.drawPolygon(QPolygon({QPoint(0, 200), QPoint(90, 110), QPoint(170, 200)}));
    painter.drawPolygon(QPolygon({QPoint(120, 200), QPoint(240, 120), QPoint(320, 200)}));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The scan shows a deleted name with its first character replaced.
QString deleted_name(const QString& name)
{
    return QLatin1Char('#') + name.mid(1);
}

} // namespace

pages_volume::pages_volume()
{
    qputenv("TZ", "UTC");
    tzset();
}

pages_volume::~pages_volume()
{
    disk_shutdown();
    qunsetenv("TARN_DISKS");
    volume_list().clear();
    if (const QString changed = images_.report(); !changed.isEmpty())
        QTest::qFail(qPrintable(changed), __FILE__, __LINE__);
}

QString pages_volume::source(const QString& name, const QByteArray& data)
{
    const QString file = path(QStringLiteral("src/") + name);
    QDir().mkpath(path(QStringLiteral("src")));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size())
        return {};
    return file;
}

bool pages_volume::build(bool deleted)
{
    const QString img = image();
    if (format_fat(img, 0, 140000, 32, QStringLiteral("TARN")) != 0)
        return false;
    const QByteArray notes = "Holiday notes\nDay 1: the lake.\nDay 2: the hills.\n";
    const QMap<QString, QByteArray> photos = {{"holiday.png", picture_png()},
                                              {"notes.txt", notes},
                                              {"big.bin", random_bytes(6 * 1024 * 1024, 7)},
                                              {"abcdefghi.txt", random_bytes(3000, 9)}};
    QStringList photo_sources;
    for (auto it = photos.begin(); it != photos.end(); ++it)
        photo_sources << source(it.key(), it.value());
    const QString i = QStringLiteral("-i");
    bool made = run_mtools({"mmd", i, img, "::/Photos", "::/Docs", "::/Docs/Letters", "::/kept"}) == 0 &&
                run_mtools(QStringList{"mcopy", i, img} + photo_sources + QStringList{"::/Photos/"}) == 0 &&
                run_mtools({"mcopy", i, img, source("letter.txt", random_bytes(5000, 11)), "::/Docs/Letters/"}) == 0 &&
                run_mtools({"mcopy", i, img, source("live.txt", "still here"), "::/kept/"}) == 0;
    if (deleted)
        made = made && run_mtools({"mdeltree", i, img, "::/Photos", "::/Docs"}) == 0 && craft_dot_dot_name();
    for (auto it = photos.begin(); it != photos.end(); ++it)
        photos_[deleted_name(it.key())] = it.value();
    photos_[QStringLiteral("#/../../e.txt")] = photos_.take(QStringLiteral("#bcdefghi.txt"));
    return made && use_image(img);
}

bool pages_volume::use_image(const QString& img)
{
    qputenv("TARN_DISKS", img.toUtf8());
    images_.watch(img);
    enumerate_volumes();
    return disk_enumerate() == 1 && volume_list().size() == 2;
}

bool pages_volume::patch_image(qint64 offset, const QByteArray& bytes)
{
    QFile file(image());
    const bool written = file.open(QIODevice::ReadWrite) && file.seek(offset) && file.write(bytes) == bytes.size();
    file.close();
    images_.watch(image());
    return written;
}

bool pages_volume::build_busy()
{
    constexpr std::uint32_t folders = 500, entries = 1024, file_cluster = 590;
    fat_builder_c builder(600, 64);
    std::vector<std::string> names; // the builder keeps views of the names
    names.reserve(folders + entries);
    for (std::uint32_t d = 0; d < folders; ++d)
        names.push_back(QString::asprintf("D%07u   ", d).toStdString());
    for (std::uint32_t f = 0; f < entries; ++f)
        names.push_back("\xE5" + QString::asprintf("%07uTXT", f).toStdString());
    for (std::uint32_t d = 0; d < folders; ++d) {
        builder.put_entry(0, d, {names[d], 0x10, 2 + d});
        builder.set_fat(2 + d, 0xFFF);
        for (std::uint32_t f = 0; f < entries; ++f)
            builder.put_entry(2 + d, f, {names[folders + f], 0x20, file_cluster, 100});
    }
    const QString img = path(QStringLiteral("busy.img"));
    return builder.save(img) == 0 && use_image(img);
}

bool pages_volume::build_root_only()
{
    const QString img = path(QStringLiteral("root.img"));
    const QString a = source(QStringLiteral("report.txt"), QByteArray(3000, 'r'));
    const QString b = source(QStringLiteral("photo.jpg"), QByteArray(9000, 'p'));
    return format_fat(img, 0, 140000, 32, QStringLiteral("ROOT")) == 0
           && run_mtools({"mcopy", "-i", img, a, b, "::/"}) == 0
           && run_mtools({"mdel", "-i", img, "::/report.txt", "::/photo.jpg"}) == 0 && use_image(img);
}

bool pages_volume::build_formatted(bool written_since)
{
    if (!build(false)
        || run_tool(QStringLiteral("mkfs.fat"), {"-F", "32", "-i", "5678ABCD", "--invariant", "-n", "NEW", image()}) != 0)
        return false;
    if (written_since) {
        // The new files go where the file system's hint of the next free cluster says: cluster
        // 1000, well inside big.bin (12,288 clusters from cluster 13).
        QFile file(image());
        if (!file.open(QIODevice::ReadWrite) || !file.seek(512 + 492) || file.write(QByteArray("\xE8\x03\x00\x00", 4)) != 4)
            return false;
        file.close();
        const QString i = QStringLiteral("-i");
        if (run_mtools({"mcopy", i, image(), source("new.txt", random_bytes(20000, 21)), "::/"}) != 0
            || run_mtools({"mcopy", i, image(), source("newer.txt", random_bytes(7000, 22)), "::/"}) != 0)
            return false;
    }
    return use_image(image());
}

bool pages_volume::build_ntfs()
{
    const QString img = path(QStringLiteral("ntfs.img"));
    return make_ntfs_volume(img, 16ll << 20,
                            {"mkdir", "/Alt", "mkdir", "/Neu", "fill", "/Alt/brief.txt", "5000", "3", "fill",
                             "/Neu/live.txt", "10", "4", "rm", "/Alt/brief.txt", "rm", "/Alt"})
               == 0
           && use_image(img);
}

// Rewrites the thirteen characters of the long name "abcdefghi.txt" to "a/../../e.txt": a name
// no tool would write, as a hostile disk may hold it (still agreeing with its alias, so that the
// scan takes it).
bool pages_volume::craft_dot_dot_name()
{
    QFile file(image());
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    const QByteArray first = QByteArray("a\0b\0c\0d\0e\0", 10);
    const qsizetype at = bytes.indexOf(first);
    if (at < 1 || static_cast<unsigned char>(bytes[at - 1 + 11]) != 0x0F)
        return false;
    const std::u16string name = u"a/../../e.txt";
    const int offsets[] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (int k = 0; k < 13; ++k) {
        bytes[at - 1 + offsets[k]] = static_cast<char>(name[k] & 0xFF);
        bytes[at - 1 + offsets[k] + 1] = static_cast<char>(name[k] >> 8);
    }
    return file.seek(0) && file.write(bytes) == bytes.size();
}

QStringList files_below(const QString& root)
{
    QStringList out;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
}

} // namespace tarn::test
