#include "widgets/file_chooser.h"

#include <QDir>
#include <QFileDialog>

namespace tarn {

namespace {

file_chooser& chooser()
{
    static file_chooser instance;
    return instance;
}

} // namespace

void set_file_chooser(file_chooser replacement)
{
    chooser() = std::move(replacement);
}

QString choose_scan_file(QWidget* owner, file_choice_e choice)
{
    if (chooser())
        return chooser()(choice);
    const QString filter = QStringLiteral("TarnRecovery Scan files (*.sav);;All files (*.*)");
    QString selected = QStringLiteral("TarnRecovery Scan files (*.sav)");
    return choice == file_choice_e::save
               ? QFileDialog::getSaveFileName(owner, QStringLiteral("Save"), QDir::currentPath(), filter, &selected)
               : QFileDialog::getOpenFileName(owner, QStringLiteral("Save"), QDir::currentPath(), filter, &selected);
}

} // namespace tarn
