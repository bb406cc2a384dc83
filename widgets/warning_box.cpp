#include "widgets/warning_box.h"

#include "settings/language.h"

#include <QAbstractButton>
#include <QPixmap>

#include <utility>

namespace tarn {

namespace {

warning_answerer& answerer()
{
    static warning_answerer replaced;
    return replaced;
}

} // namespace

QMessageBox::StandardButton warning_box(const QString& title, std::string_view key,
                                        QMessageBox::StandardButtons buttons, QWidget* owner,
                                        const warning_extra_s& extra)
{
    QString text = language_text(key);
    for (const QString& argument : extra.arguments)
        text = text.arg(argument);
    const warning_request_s request{title,  std::string(key),     text,         buttons,
                                    owner,  extra.detail,         extra.default_button, extra.details};
    if (answerer())
        return answerer()(request);
    QMessageBox box(QMessageBox::Warning, request.title, request.text, buttons, owner,
                    Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box.setIconPixmap(QPixmap(QStringLiteral(":/images/top.ico")));
    if (!request.detail.isEmpty())
        box.setInformativeText(request.detail);
    if (!request.details.isEmpty())
        box.setDetailedText(request.details);
    for (const auto& [button, caption_key] : extra.button_keys)
        if (QAbstractButton* shown = box.button(button))
            shown->setText(language_text(caption_key));
    if (request.default_button != QMessageBox::NoButton)
        box.setDefaultButton(request.default_button);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void set_warning_answerer(warning_answerer replacement)
{
    answerer() = std::move(replacement);
}

} // namespace tarn
