#include "ui/main_window.h"

#include "app/format_size.h"
#include "disk/drive_enumeration.h"
#include "disk/volume_enumeration.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace tarn {

main_window_c::main_window_c(QWidget* parent) : QWidget(parent), summary_(new QPlainTextEdit(this))
{
    setWindowTitle(QStringLiteral("Quillmere"));
    summary_->setReadOnly(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    resize(800, 500);
}

void main_window_c::on_init_finished()
{
    QStringList lines;
    const auto& drives = drive_list();
    for (std::size_t row = 1; row < drives.size(); ++row)
        lines << QStringLiteral("%1  %2").arg(drives[row].path, format_size(drives[row].size));
    lines << QString();
    const auto& volumes = volume_list();
    for (std::size_t row = 1; row < volumes.size(); ++row) {
        const auto& v = volumes[row];
        lines << QStringLiteral("%1  %2  %3  %4").arg(v.mount_path, v.fs_name, v.label, format_size(v.total_bytes));
    }
    summary_->setPlainText(lines.join(QLatin1Char('\n')));
}

} // namespace tarn
