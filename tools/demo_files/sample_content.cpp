#include "sample_content.h"

#include <QDateTime>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QRadialGradient>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace demo_files {

quint32 random_c::next()
{
    // splitmix64: good enough spread for pictures and filler text, and identical everywhere.
    quint64 z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return quint32((z ^ (z >> 31)) >> 32);
}

int random_c::range(int lo, int hi)
{
    return lo + int(next() % quint32(hi - lo + 1));
}

static void add_grain(QImage& image, random_c& rnd, int grain)
{
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int d = rnd.range(-grain, grain);
            const QRgb p = line[x];
            line[x] = qRgb(std::clamp(qRed(p) + d, 0, 255), std::clamp(qGreen(p) + d, 0, 255),
                           std::clamp(qBlue(p) + d, 0, 255));
        }
    }
}

QImage paint_photo(int width, int height, quint64 seed, int grain)
{
    random_c rnd(seed);
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const int horizon = height * rnd.range(45, 65) / 100;
    QLinearGradient sky(0, 0, 0, horizon);
    sky.setColorAt(0, QColor::fromHsv(rnd.range(195, 225), rnd.range(120, 200), rnd.range(150, 230)));
    sky.setColorAt(1, QColor::fromHsv(rnd.range(20, 45), rnd.range(40, 120), 250));
    p.fillRect(0, 0, width, horizon, sky);
    // Hazy distant land behind the ridges; also makes sure no pixel is left uninitialised.
    p.fillRect(0, horizon, width, height - horizon, QColor::fromHsv(rnd.range(80, 130), 80, 150));

    const QPointF sun(width * rnd.range(15, 85) / 100.0, horizon * rnd.range(25, 70) / 100.0);
    const qreal radius = height * rnd.range(5, 10) / 100.0;
    QRadialGradient glow(sun, radius * 3);
    glow.setColorAt(0, QColor(255, 245, 200));
    glow.setColorAt(0.3, QColor(255, 220, 150, 160));
    glow.setColorAt(1, QColor(255, 200, 120, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(sun, radius * 3, radius * 3);

    // Three ridges, each lower and darker, so that the picture has depth like a real landscape.
    for (int ridge = 0; ridge < 3; ++ridge) {
        const qreal base = horizon + (height - horizon) * ridge / 4.0;
        const qreal amplitude = height * rnd.range(3, 12) / 100.0;
        const qreal phase = rnd.range(0, 628) / 100.0;
        const qreal waves = rnd.range(10, 40) / 10.0;
        QPainterPath hill(QPointF(0, height));
        const int step = std::max(1, width / 200);
        for (int x = 0; x < width + step; x += step) {
            const int cx = std::min(x, width);
            hill.lineTo(cx, base - amplitude * std::sin(phase + waves * 6.2832 * cx / width));
        }
        hill.lineTo(width, height);
        hill.closeSubpath();
        QLinearGradient green(0, base - amplitude, 0, height);
        green.setColorAt(0, QColor::fromHsv(rnd.range(80, 130), 150, 170 - ridge * 40));
        green.setColorAt(1, QColor::fromHsv(rnd.range(80, 130), 200, 90 - ridge * 20));
        p.setBrush(green);
        p.drawPath(hill);
    }

    for (int house = rnd.range(2, 6); house > 0; --house) {
        const int w = width * rnd.range(4, 9) / 100;
        const int x = rnd.range(0, width - w);
        const int y = height * rnd.range(70, 85) / 100;
        p.setBrush(QColor::fromHsv(rnd.range(0, 40), rnd.range(60, 160), rnd.range(150, 240)));
        p.drawRect(x, y, w, w * 3 / 4);
        p.setBrush(QColor(140, 40, 30));
        p.drawPolygon(QPolygon({QPoint(x - w / 8, y), QPoint(x + w / 2, y - w / 2), QPoint(x + w + w / 8, y)}));
    }
    p.end();

    if (grain > 0)
        add_grain(image, rnd, grain);
    return image;
}

QImage paint_chart(int width, int height, quint64 seed, const QString& title)
{
    random_c rnd(seed);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(10, height / 16));
    p.setFont(font);
    p.setPen(Qt::black);
    const int top = height / 6;
    p.drawText(QRect(0, 0, width, top), Qt::AlignCenter, title);

    const int left = width / 10, bottom = height - height / 8;
    p.drawLine(left, top, left, bottom);
    p.drawLine(left, bottom, width - left / 2, bottom);

    const int bars = rnd.range(5, 9);
    const int slot = (width - left * 3 / 2) / bars;
    font.setPixelSize(std::max(8, height / 24));
    p.setFont(font);
    for (int i = 0; i < bars; ++i) {
        const int h = (bottom - top) * rnd.range(15, 95) / 100;
        const QRect bar(left + i * slot + slot / 6, bottom - h, slot * 2 / 3, h);
        p.fillRect(bar, QColor::fromHsv((i * 360 / bars + 200) % 360, 150, 210));
        p.drawText(QRect(bar.left(), bottom, bar.width(), height - bottom), Qt::AlignCenter,
                   QStringLiteral("Q%1").arg(i + 1));
    }
    return image;
}

bool write_pdf(const QString& path, const QString& title, const QStringList& paragraphs,
               const QList<QImage>& figures)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(150);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("tarn-demo-files"));

    QPainter p;
    if (!p.begin(&writer))
        return false;
    const QRect page = writer.pageLayout().paintRectPixels(writer.resolution());
    const int margin = 40;
    const QRect area = page.translated(-page.topLeft()).adjusted(margin, margin, -margin, -margin);

    QFont heading(QStringLiteral("DejaVu Sans"), 20, QFont::Bold);
    QFont body(QStringLiteral("DejaVu Serif"), 11);
    p.setFont(heading);
    int y = area.top();
    const QRect title_rect = p.boundingRect(QRect(area.left(), y, area.width(), 0), Qt::TextWordWrap, title);
    p.drawText(title_rect, Qt::TextWordWrap, title);
    y = title_rect.bottom() + 30;

    p.setFont(body);
    for (const QString& text : paragraphs) {
        const QRect r = p.boundingRect(QRect(area.left(), y, area.width(), 0), Qt::TextWordWrap, text);
        if (r.bottom() > area.bottom() && y > area.top()) {
            writer.newPage();
            y = area.top();
            const QRect moved = r.translated(0, y - r.top());
            p.drawText(moved, Qt::TextWordWrap, text);
            y = moved.bottom() + 15;
        } else {
            p.drawText(r, Qt::TextWordWrap, text);
            y = r.bottom() + 15;
        }
    }

    for (const QImage& figure : figures) {
        writer.newPage();
        const QSize fitted = figure.size().scaled(area.size(), Qt::KeepAspectRatio);
        p.drawImage(QRect(area.topLeft(), fitted), figure);
    }
    return p.end();
}

QStringList make_paragraphs(const QString& language, int count, quint64 seed)
{
    static const QStringList german = {
        QStringLiteral("Größe"), QStringLiteral("Übersicht"), QStringLiteral("Straße"),
        QStringLiteral("Änderung"), QStringLiteral("Prüfung"), QStringLiteral("Bericht"),
        QStringLiteral("Datenträger"), QStringLiteral("Sicherung"), QStringLiteral("wiederhergestellt"),
        QStringLiteral("gelöscht"), QStringLiteral("Verzeichnis"), QStringLiteral("für"),
        QStringLiteral("über"), QStringLiteral("und"), QStringLiteral("die"), QStringLiteral("Fotos"),
        QStringLiteral("Urlaub"), QStringLiteral("Schlüssel"), QStringLiteral("Jahresabschluss"),
        QStringLiteral("möglich")};
    static const QStringList chinese = {
        QStringLiteral("数据"), QStringLiteral("恢复"), QStringLiteral("文件"), QStringLiteral("照片"),
        QStringLiteral("文档"), QStringLiteral("磁盘"), QStringLiteral("分区"), QStringLiteral("删除"),
        QStringLiteral("备份"), QStringLiteral("说明"), QStringLiteral("我们"), QStringLiteral("的"),
        QStringLiteral("已经"), QStringLiteral("完成"), QStringLiteral("检查"), QStringLiteral("目录")};
    static const QStringList english = {
        QStringLiteral("disk"), QStringLiteral("recovery"), QStringLiteral("report"), QStringLiteral("the"),
        QStringLiteral("files"), QStringLiteral("were"), QStringLiteral("checked"), QStringLiteral("and"),
        QStringLiteral("photos"), QStringLiteral("backup"), QStringLiteral("quarterly"), QStringLiteral("results"),
        QStringLiteral("of"), QStringLiteral("partition"), QStringLiteral("summary"), QStringLiteral("volume")};

    const bool zh = language == QLatin1String("zh");
    const QStringList& words = zh ? chinese : language == QLatin1String("de") ? german : english;
    random_c rnd(seed);
    QStringList out;
    for (int i = 0; i < count; ++i) {
        QString paragraph;
        for (int sentence = rnd.range(3, 6); sentence > 0; --sentence) {
            QStringList picked;
            for (int w = rnd.range(5, 12); w > 0; --w)
                picked << words[rnd.range(0, int(words.size()) - 1)];
            QString s = picked.join(zh ? QString() : QStringLiteral(" "));
            if (!zh)
                s[0] = s[0].toUpper();
            paragraph += s + (zh ? QStringLiteral("。") : QStringLiteral(". "));
        }
        out << paragraph.trimmed();
    }
    return out;
}

QByteArray make_log(qsizetype min_bytes, quint64 seed)
{
    static const char* const levels[] = {"INFO ", "INFO ", "INFO ", "DEBUG", "WARN "};
    static const char* const events[] = {"read block", "verified block", "cached block", "retried block"};
    random_c rnd(seed);
    QDateTime when(QDate(2024, 1, 15), QTime(8, 0), QTimeZone::utc());
    QByteArray out;
    for (quint64 n = 1; out.size() < min_bytes; ++n) {
        when = when.addMSecs(rnd.range(1, 900));
        out += when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toLatin1();
        out += ' ';
        out += levels[rnd.range(0, 4)];
        out += " scanner[";
        out += QByteArray::number(rnd.range(1000, 1003));
        out += "]: ";
        out += events[rnd.range(0, 3)];
        out += ' ';
        out += QByteArray::number(n * 8 + quint64(rnd.range(0, 7)));
        out += " of device 0\n";
    }
    return out;
}

} // namespace demo_files
