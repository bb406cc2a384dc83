#include "ui/help_window.h"

#include "settings/language.h"
#include "ui/ui_help_form.h"

#include <QFileInfo>
#include <QUrl>

namespace tarn {

namespace {

// The copy of the help page compiled into the program.
const QString builtin_help_page = QStringLiteral("qrc:/help/index.html");

} // namespace

help_window_c::help_window_c(const QString& page, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::HelpForm>())
{
    ui_->setupUi(this);
    setWindowTitle(language_text("menu_help"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The page is written in English, left to right, whatever the window's language.
    ui_->tb_help->setLayoutDirection(Qt::LeftToRight);
    const bool on_disk = QFileInfo(page).isFile();
    ui_->tb_help->setSource(on_disk ? QUrl::fromLocalFile(page) : QUrl(builtin_help_page));
    connect(ui_->bb_close, &QDialogButtonBox::rejected, this, &QDialog::close);
}

help_window_c::~help_window_c() = default;

QTextBrowser* help_window_c::browser() const
{
    return ui_->tb_help;
}

} // namespace tarn
