// tarn-demo-files OUTDIR: writes the sample files that scripts/make-demo-disk copies onto the demo
// disk (photos, charts, PDF reports, texts), the same bytes on every run with the same Qt.
#include "sample_content.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHashSeed>
#include <QImageWriter>
#include <QTextStream>

#include <functional>

namespace {

using writer_fn = std::function<bool(const QString& path)>;

struct sample_s {
    const char* name;
    writer_fn write;
};

writer_fn jpeg(int w, int h, quint64 seed, int grain, int quality)
{
    return [=](const QString& path) {
        QImageWriter out(path, "jpeg");
        out.setQuality(quality);
        return out.write(demo_files::paint_photo(w, h, seed, grain));
    };
}

writer_fn png_photo(int w, int h, quint64 seed, int grain)
{
    return [=](const QString& path) { return demo_files::paint_photo(w, h, seed, grain).save(path, "png"); };
}

writer_fn png_chart(int w, int h, quint64 seed, const QString& title)
{
    return [=](const QString& path) { return demo_files::paint_chart(w, h, seed, title).save(path, "png"); };
}

writer_fn pdf(const QString& title, const char* language, int paragraphs, quint64 seed, int photos)
{
    return [=](const QString& path) {
        QList<QImage> figures{demo_files::paint_chart(1200, 800, seed, title)};
        // Grainy photos make a PDF large enough to span many clusters.
        for (int i = 0; i < photos; ++i)
            figures << demo_files::paint_photo(1600, 1200, seed + 100 + quint64(i), 24);
        return demo_files::write_pdf(path, title,
                                     demo_files::make_paragraphs(QLatin1String(language), paragraphs, seed), figures);
    };
}

writer_fn text(const char* language, int paragraphs, quint64 seed)
{
    return [=](const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        const QString body = demo_files::make_paragraphs(QLatin1String(language), paragraphs, seed).join(u"\n\n");
        const QByteArray bytes = body.toUtf8() + '\n';
        return f.write(bytes) == bytes.size();
    };
}

writer_fn log_text(qsizetype min_bytes, quint64 seed)
{
    return [=](const QString& path) {
        QFile f(path);
        const QByteArray bytes = demo_files::make_log(min_bytes, seed);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
    };
}

// Sizes range from a few hundred bytes (less than one cluster) to a few MiB (many clusters).
const sample_s samples[] = {
    {"thumb.jpg", jpeg(160, 120, 1, 0, 80)},
    {"sunset.jpg", jpeg(640, 480, 2, 3, 85)},
    {"beach.jpg", jpeg(1024, 768, 3, 8, 88)},
    {"mountains.jpg", jpeg(2400, 1600, 4, 24, 92)},
    {"holiday.jpg", jpeg(2048, 1536, 5, 20, 90)},
    {"raw_photo.jpg", jpeg(800, 600, 6, 6, 85)},
    {"chart_small.png", png_chart(200, 120, 7, QStringLiteral("Q"))},
    {"chart.png", png_chart(640, 400, 8, QStringLiteral("Umsatz 2023"))},
    {"texture.png", png_photo(960, 720, 9, 20)},
    {"raw_chart.png", png_chart(480, 300, 10, QStringLiteral("Recovery rate"))},
    {"report_de.pdf", pdf(QStringLiteral("Größenübersicht der Datenträger"), "de", 8, 11, 0)},
    {"report_zh.pdf", pdf(QStringLiteral("文档说明"), "zh", 6, 12, 0)},
    {"annual_report.pdf", pdf(QStringLiteral("Annual report 2023"), "en", 30, 13, 2)},
    {"raw_document.pdf", pdf(QStringLiteral("Disk recovery summary"), "en", 4, 14, 0)},
    {"notes_en.txt", text("en", 1, 15)},
    {"uebersicht_de.txt", text("de", 12, 16)},
    {"readme_zh.txt", text("zh", 10, 17)},
    {"system.log", log_text(1300 * 1024, 18)},
};

} // namespace

int main(int argc, char** argv)
{
    // Painting text needs a GUI application, but no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's per-process random hash seed changes the order of embedded font data in the PDFs; a
    // fixed seed keeps them repeatable (their creation date follows the clock, which
    // make-demo-disk fixes).
    QHashSeed::setDeterministicGlobalSeed();
    QGuiApplication app(argc, argv);

    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 2 || args[1].startsWith(u'-')) {
        err << "usage: tarn-demo-files OUTDIR\n";
        return 2;
    }
    if (!QImageWriter::supportedImageFormats().contains("jpeg")) {
        err << "tarn-demo-files: Qt has no JPEG image plugin (package libqt6gui6)\n";
        return 1;
    }
    const QDir dir(args[1]);
    if (!dir.mkpath(QStringLiteral("."))) {
        err << "tarn-demo-files: cannot create " << args[1] << '\n';
        return 1;
    }

    QTextStream out(stdout);
    for (const sample_s& sample : samples) {
        const QString path = dir.filePath(QLatin1String(sample.name));
        if (!sample.write(path)) {
            err << "tarn-demo-files: cannot write " << path << '\n';
            return 1;
        }
        out << sample.name << '\t' << QFileInfo(path).size() << '\n';
    }
    return 0;
}
