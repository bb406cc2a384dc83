#include "ui/help_window.h"

#include "settings/language.h"
#include "ui/ui_help_form.h"

#include <QFileInfo>
#include <QPushButton>
#include <QUrl>

namespace tarn {

QString builtin_help_page()
{
    return QStringLiteral(":/help/index.html");
}

help_window_c::help_window_c(const QString& page, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::HelpForm>())
{
    ui_->setupUi(this);
    setWindowTitle(language_text("menu_help"));
    setAttribute(Qt::WA_DeleteOnClose);
    const bool on_disk = QFileInfo(page).isFile();
    ui_->tb_help->setSource(on_disk ? QUrl::fromLocalFile(page) : QUrl(QStringLiteral("qrc") + builtin_help_page()));
    connect(ui_->bb_close, &QDialogButtonBox::rejected, this, &QDialog::close);
}

help_window_c::~help_window_c() = default;

QTextBrowser* help_window_c::browser() const
{
    return ui_->tb_help;
}

} // namespace tarn
