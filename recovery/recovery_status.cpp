#include "recovery/recovery_status.h"

#include "common/format_size.h"
#include "recovery/preview_content.h"
#include "settings/language.h"
#include "widgets/page_painting.h"
#include "widgets/progress_bar.h"

#include <QPainter>

namespace tarn {

QString status_line(const recovery_status_s& status)
{
    if (!status.extraction.isEmpty())
        return status.extraction;
    if (status.failed)
        return language_text("scan_fs_unreadable");
    QString line;
    if (status.deep) {
        const auto passed = static_cast<std::uint64_t>(status.progress * static_cast<double>(status.volume_bytes));
        line = language_text("raw_progress") + QLatin1Char(' ') + format_size(passed);
    } else {
        line = language_text("recovery_reading") + QString::number(status.read_count);
    }
    if (status.stopped)
        return language_text("scan_stopped") + QLatin1Char(' ') + line;
    if (status.nothing_found)
        return language_text("scan_nothing_found");
    return line;
}

QRect preview_box(int width, int height)
{
    return {212, 79, width - 222, static_cast<int>((height - 143) * 0.4)};
}

void paint_recovery_face(QPainter& painter, int width, int height, const recovery_status_s& status,
                         const progress_bar_c& bar, const preview_content_s* preview)
{
    paint_page_band(painter, width);
    const QRect box = preview_box(width, height);
    painter.setPen(QColor(139, 184, 241));
    painter.drawRect(10, 13, width - 20, 60);
    painter.drawRect(box);
    bar.paint(&painter, QRect(90, 38, 250, 12));
    painter.setPen(Qt::black);
    painter.setFont(QFont(QStringLiteral("Verdana"), 10));
    painter.drawText(90, 30, status_line(status));
    const QRect inside(box.left() + 1, box.top() + 1, box.width() - 1, box.height() - 1);
    painter.fillRect(inside, Qt::white);
    if (preview)
        paint_preview(painter, *preview, box);
    if (status.found_count > 0) {
        painter.setPen(Qt::red);
        painter.drawText(90, 65, language_text("recovery_total_files") + QLatin1Char(' ') +
                                     QString::number(status.found_count));
    }
}

} // namespace tarn
