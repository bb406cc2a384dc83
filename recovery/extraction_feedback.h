#pragma once
// What the recovery page says about an extraction: its progress in the status line, and the
// summary box at its end (files written, files failed with their names, the folder to open).

#include <QString>

class QWidget;

namespace tarn {

struct extraction_summary_s;

QString extraction_progress_text(int files_done, int files_total, quint64 bytes_done, quint64 bytes_total);
// The summary's sentence: "N files recovered, M failed." (with the files not tried when stopped).
QString extraction_summary_text(const extraction_summary_s& summary);
// Shows the summary box; its open button opens the target folder in the desktop shell.
void show_extraction_summary(const extraction_summary_s& summary, QWidget* owner);

} // namespace tarn
