#include "recovery/extraction_feedback.h"

#include "common/format_size.h"
#include "platform/shell_open.h"
#include "recovery/recovery_file.h"
#include "settings/language.h"
#include "widgets/warning_box.h"

namespace tarn {

namespace {

const QString box_title = QStringLiteral("TarnRecovery");

QStringList summary_arguments(const extraction_summary_s& summary)
{
    QStringList arguments{QString::number(summary.written), QString::number(summary.tried - summary.written)};
    if (summary.stopped)
        arguments << QString::number(summary.total - summary.tried);
    return arguments;
}

} // namespace

QString extraction_progress_text(int files_done, int files_total, quint64 bytes_done, quint64 bytes_total)
{
    return language_text("recovery_extracting")
        .arg(files_done)
        .arg(files_total)
        .arg(format_size(bytes_done), format_size(bytes_total));
}

QString extraction_summary_text(const extraction_summary_s& summary)
{
    QString text = language_text(summary.stopped ? "recovery_summary_stopped" : "recovery_summary");
    for (const QString& argument : summary_arguments(summary))
        text = text.arg(argument);
    return text;
}

void show_extraction_summary(const extraction_summary_s& summary, QWidget* owner)
{
    warning_extra_s extra;
    extra.arguments = summary_arguments(summary);
    if (!summary.failed.isEmpty())
        extra.details = language_text("recovery_failed_names") + QLatin1Char('\n') + summary.failed.join(QLatin1Char('\n'));
    extra.button_keys = {{QMessageBox::Open, "btn_open_folder"}};
    const auto answer = warning_box(box_title, summary.stopped ? "recovery_summary_stopped" : "recovery_summary",
                                    QMessageBox::Open | QMessageBox::Ok, owner, extra);
    if (answer == QMessageBox::Open)
        open_in_shell(summary.target);
}

} // namespace tarn
