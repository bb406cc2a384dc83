#pragma once
// The recovery page's painted face above and beside its widgets: the band, the outlines of the
// status and preview boxes, the progress bar, the status line, the count of found files and the
// preview.

#include <QString>

#include <cstdint>

class QPainter;
class QRect;

namespace tarn {

class progress_bar_c;
struct preview_content_s;

struct recovery_status_s {
    bool deep = false;
    bool failed = false;           // the scan could not read the volume at all
    double progress = 0.0;         // the engine's fraction, 0 to 1
    std::uint64_t volume_bytes = 0; // the scanned volume's size
    std::int64_t read_count = 0;
    std::int64_t found_count = 0;
    bool stopped = false;          // the user stopped the scan
    bool nothing_found = false;    // the scan ended with nothing to show
    QString extraction;            // while and after files are written: what the extraction says
};

// "Scanned: 1.50G" during a deep scan (the share of the volume passed), else "Records read: 42",
// after "Stopped." when the user stopped it; after a scan that could not read its volume, or that
// found nothing, the sentence that says so; while and after files are written, their progress
// or summary.
QString status_line(const recovery_status_s& status);
// The preview box of a page of that size.
QRect preview_box(int width, int height);
// Paints the page's face; preview is null when the preview box stays white.
void paint_recovery_face(QPainter& painter, int width, int height, const recovery_status_s& status,
                         const progress_bar_c& bar, const preview_content_s* preview);

} // namespace tarn
