// The contact sheet: every image on a checkerboard so that transparency shows, grouped by
// folder and labelled with its resource name.

#include "tools/artwork/art_pieces.h"

#include <QFileInfo>
#include <QPainter>

#include <map>
#include <vector>

namespace tarn::art {

namespace {

constexpr int sheet_w = 1500;
constexpr int margin = 16;
constexpr int label_h = 16;
constexpr int gap = 12;

QBrush checkerboard()
{
    QImage tile(16, 16, QImage::Format_RGB32);
    tile.fill(QColor(236, 236, 236));
    QPainter p(&tile);
    p.fillRect(0, 0, 8, 8, QColor(252, 252, 252));
    p.fillRect(8, 8, 8, 8, QColor(252, 252, 252));
    return QBrush(tile);
}

// Large images are shown at half size so that a language's set fits in a row or two; the
// tall frame sides at a quarter of their height.
QImage shown(const QImage& image)
{
    if (image.width() > 300 && image.height() <= 110)
        return image.scaled(image.width() / 2, image.height() / 2, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (image.height() > 300)
        return image.scaled(image.width(), image.height() / 4);
    return image;
}

// White drawings meant for the title band are shown on its blue.
bool on_band(const QString& name)
{
    return name.contains(QLatin1String("Button")) || name.startsWith(QLatin1String("top/"))
           || name.contains(QLatin1String("btn_top"));
}

QImage load(const QString& root, const QString& name)
{
    return QImage(root + QLatin1Char('/') + name);
}

// The home page in a window of 800 × 600, put together from the pieces the way the window
// and the home page place them, so the set can be judged as a whole.
QImage window_mockup(const QString& root, const QString& code)
{
    constexpr int w = 800;
    constexpr int h = 600;
    QImage window = new_image(w, h);
    QPainter p(&window);
    prepare(p);
    const QImage top = load(root, QStringLiteral("system/so.png"));
    const QImage left = load(root, QStringLiteral("system/sl.png"));
    const QImage right = load(root, QStringLiteral("system/sr.png"));
    const QImage bottom = load(root, QStringLiteral("system/su.png"));
    p.drawImage(QRect(w - 64, 0, 64, top.height()), top, QRect(top.width() - 64, 0, 64, top.height()));
    p.drawImage(QRect(0, 0, 64, top.height()), top, QRect(0, 0, 64, top.height()));
    p.drawImage(QRect(64, 0, w - 128, top.height()), top, QRect(64, 0, top.width() - 128, top.height()));
    const int side_h = h - top.height() - bottom.height();
    p.drawImage(QRect(0, top.height(), left.width(), side_h), left);
    p.drawImage(QRect(w - right.width(), top.height(), right.width(), side_h), right);
    const int by = h - bottom.height();
    p.drawImage(QRect(left.width(), by, w - left.width() - right.width(), bottom.height()), bottom,
                QRect(left.width(), 0, bottom.width() - left.width() - right.width(), bottom.height()));
    p.drawImage(QRect(0, by, left.width(), bottom.height()), bottom, QRect(0, 0, left.width(), bottom.height()));
    p.drawImage(QRect(w - right.width(), by, right.width(), bottom.height()), bottom,
                QRect(bottom.width() - right.width(), 0, right.width(), bottom.height()));
    p.drawImage(w - 120, 24, load(root, QStringLiteral("top/logo.png")));
    p.setFont(art_font(QStringLiteral("latin"), 13, false));
    p.setPen(Qt::white);
    p.drawText(QPointF(10, 20), QStringLiteral("Quillmere"));
    const QString multilang = QStringLiteral("multilang/") + code + QLatin1Char('/');
    for (int t = 0; t < 3; ++t) {
        // The first tab hovered, to show a state other than normal.
        const int s = t == 0 ? 2 : 1;
        p.drawImage(10 + 103 * t, 25, load(root, multilang + QStringLiteral("btn_top%1%2.png").arg(t + 1).arg(s)));
    }
    const char* system[] = {"quiButton1", "maxButton1", "minButton1", "settingButton1"};
    for (int i = 0; i < 4; ++i)
        p.drawImage(w - 1 - (30 + 30 * i), 1, load(root, QStringLiteral("system/%1.png").arg(QLatin1String(system[i]))));
    // The home page: 794 × 496 inside the frame's margins.
    p.translate(3, 100);
    const int ph = h - 104;
    const QImage band = load(root, QStringLiteral("background/bai.png"));
    p.fillRect(QRect(0, 0, w - 6, ph), Qt::white);
    p.fillRect(QRect(0, 0, w - 6, band.height()), QBrush(band));
    const int button_y = ph - static_cast<int>(0.55 * ph + 106);
    p.drawImage(40, button_y, load(root, multilang + QStringLiteral("btn_start_scan1.png")));
    p.drawImage(425, button_y, load(root, multilang + QStringLiteral("btn_resume_recovery1.png")));
    p.drawImage(55, ph - 240, load(root, QStringLiteral("home/wenzi.png")));
    return window;
}

struct placed {
    QString name;
    QImage image;
    QPoint at;
};

} // namespace

int make_contact_sheet(const QString& images_root, const QStringList& names, const QString& path)
{
    std::map<QString, std::vector<QString>> groups;
    for (const QString& name : names)
        groups[QFileInfo(name).path()].push_back(name);

    std::vector<placed> cells;
    std::vector<std::pair<QString, int>> headers;
    int y = margin;
    headers.emplace_back(QStringLiteral("the home page put together (English, Deutsch, 简体中文)"), y);
    y += 24;
    const char* mockups[] = {"en", "de", "cn"};
    for (int i = 0; i < 3; ++i) {
        QImage mock = window_mockup(images_root, QString::fromLatin1(mockups[i]));
        mock = mock.scaled(mock.width() * 6 / 10, mock.height() * 6 / 10, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        cells.push_back({QString::fromLatin1(mockups[i]), mock, QPoint(margin + i * (mock.width() + gap), y)});
        if (i == 2)
            y += mock.height() + label_h + gap + 8;
    }
    for (const auto& [folder, members] : groups) {
        headers.emplace_back(folder, y);
        y += 24;
        int x = margin;
        int row_h = 0;
        for (const QString& name : members) {
            QImage image = shown(load(images_root, name));
            if (on_band(name)) {
                QImage backed(image.size(), QImage::Format_RGB32);
                backed.fill(blue);
                QPainter(&backed).drawImage(0, 0, image);
                image = backed;
            }
            const int cell_w = qMax(image.width(), 70);
            if (x + cell_w > sheet_w - margin) {
                x = margin;
                y += row_h + label_h + gap;
                row_h = 0;
            }
            cells.push_back({QFileInfo(name).fileName(), image, QPoint(x, y)});
            x += cell_w + gap;
            row_h = qMax(row_h, image.height());
        }
        y += row_h + label_h + gap + 8;
    }

    QImage sheet(sheet_w, y + margin, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    prepare(p);
    p.setFont(art_font(QStringLiteral("latin"), 15, true));
    p.setPen(blue_dark);
    for (const auto& [folder, top] : headers)
        p.drawText(QPointF(margin, top + 16), folder);
    const QBrush board = checkerboard();
    p.setFont(art_font(QStringLiteral("latin"), 10, false));
    for (const placed& cell : cells) {
        p.fillRect(QRect(cell.at, cell.image.size()), board);
        p.drawImage(cell.at, cell.image);
        p.setPen(QColor(90, 90, 90));
        p.drawText(QPointF(cell.at.x(), cell.at.y() + cell.image.height() + 12), cell.name);
    }
    p.end();
    return sheet.save(path) ? 0 : -1;
}

} // namespace tarn::art
