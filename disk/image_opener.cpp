#include "disk/image_opener.h"

#include "platform/opened_images.h"
#include "platform/system.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "widgets/warning_box.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QThread>

namespace tarn {

namespace {

image_chooser& chooser()
{
    static image_chooser instance;
    return instance;
}

const QString image_patterns =
    QStringLiteral("*.img *.dd *.raw *.bin *.001 *.E01 *.e01 *.vmdk *.vhd *.vhdx *.qcow2 *.qcow");

} // namespace

void set_image_chooser(image_chooser replacement)
{
    chooser() = std::move(replacement);
}

QStringList choose_disk_images(QWidget* owner)
{
    if (chooser())
        return chooser()();
    const QStringList recent = recent_images();
    const QString start = recent.isEmpty() ? system_root() : QFileInfo(recent.front()).absolutePath();
    const QString filter = language_text("image_files") + QStringLiteral(" (") + image_patterns + QStringLiteral(");;")
                           + language_text("all_files") + QStringLiteral(" (*)");
    return QFileDialog::getOpenFileNames(owner, language_text("menu_open_image"), start, filter);
}

image_opener_c::image_opener_c(QWidget* owner) : QObject(owner), owner_(owner) {}

image_opener_c::~image_opener_c()
{
    if (thread_)
        thread_->wait();
}

void image_opener_c::open(const QStringList& paths)
{
    if (thread_ || paths.isEmpty())
        return;
    paths_ = paths;
    opened_.clear();
    errors_.clear();
    // The worker touches only its own lists until it has finished.
    thread_.reset(QThread::create([this] {
        for (const auto& path : paths_) {
            QString error;
            if (open_disk_image(path, error) == 0)
                opened_ << QFileInfo(path).absoluteFilePath();
            else
                errors_ << error;
        }
    }));
    connect(thread_.get(), &QThread::finished, this, &image_opener_c::on_finished);
    thread_->start();
}

void image_opener_c::on_finished()
{
    thread_->wait();
    thread_.reset();
    for (const auto& path : opened_)
        remember_image(path);
    for (const auto& error : errors_) {
        warning_extra_s extra;
        extra.detail = error.toHtmlEscaped();
        warning_box(QStringLiteral("TarnRecovery"), "image_open_failed", QMessageBox::Ok, owner_, extra);
    }
    emit images_opened(static_cast<int>(opened_.size()));
}

} // namespace tarn
