#include "tests/recovery/recovery_fixture.h"

#include "scan/disk_sector_layer.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <ctime>

namespace tarn::test {

recovery_fixture::recovery_fixture()
{
    qputenv("TZ", "UTC");
    tzset();
}

recovery_fixture::~recovery_fixture()
{
    disk_shutdown();
    qunsetenv("TARN_DISKS");
    if (const QString changed = images_.report(); !changed.isEmpty())
        QTest::qFail(qPrintable(changed), __FILE__, __LINE__);
}

bool recovery_fixture::mtools(const QStringList& args)
{
    const QStringList env = {"MTOOLS_SKIP_CHECK=1", "LC_ALL=C.UTF-8", "TZ=UTC"};
    QString output;
    const int rc = run_tool(QStringLiteral("faketime"), QStringList{"2024-01-15 10:00:00"} + args, &output, env);
    if (rc != 0)
        qWarning("%s: %s", qPrintable(args.join(' ')), qPrintable(output));
    return rc == 0;
}

QString recovery_fixture::make_source(const QString& name, int size)
{
    QByteArray data(size, '\0');
    QRandomGenerator rng(static_cast<quint32>(size) * 31 + static_cast<quint32>(name.size()));
    for (char& c : data)
        c = static_cast<char>(rng.generate());
    QDir().mkpath(path(QStringLiteral("src")));
    const QString file = path(QStringLiteral("src/") + name);
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size())
        return {};
    originals_[name] = data;
    return file;
}

bool recovery_fixture::build_standard_volume()
{
    image_ = path(QStringLiteral("fat32.img"));
    if (format_fat(image_, 0, 140000, 32, QStringLiteral("TARN")) != 0)
        return false;
    const QString i = QStringLiteral("-i");
    const bool made = mtools({"mmd", i, image_, "::/Fotos", "::/kept", "::/Alt", "::/Alt/Tief"})
                      && mtools({"mcopy", i, image_, make_source("Bild.jpg", 70000), make_source("Baar.txt", 300),
                                 make_source("Caar.txt", 5000), "::/Fotos/"})
                      && mtools({"mcopy", i, image_, make_source("Live.txt", 10), "::/kept/"})
                      && mtools({"mcopy", i, image_, make_source("Tiefer.bin", 200000), "::/Alt/Tief/"})
                      && mtools({"mdel", i, image_, "::/Fotos/Bild.jpg", "::/Fotos/Baar.txt", "::/Fotos/Caar.txt"})
                      && mtools({"mdeltree", i, image_, "::/Alt"});
    return made && use_image(image_);
}

bool recovery_fixture::use_image(const QString& image)
{
    image_ = image;
    images_.watch(image);
    qputenv("TARN_DISKS", image.toUtf8());
    return disk_enumerate() == 1;
}

bool recovery_fixture::scan(fat_recovery_c& engine)
{
    volume_item_s volume;
    volume.volume_path = image_;
    volume.fs_name = QStringLiteral("FAT32");
    engine.set_volume(volume);
    engine.start();
    return engine.wait(60000) && !engine.findings().empty();
}

} // namespace tarn::test
