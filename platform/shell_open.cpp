#include "platform/shell_open.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QThread>

#include <utility>

namespace tarn {

namespace {

shell_opener& opener()
{
    static shell_opener replaced;
    return replaced;
}

int open_now(const QUrl& url)
{
    if (opener())
        return opener()(url);
    return QDesktopServices::openUrl(url) ? 0 : -1;
}

QUrl target_url(const QString& path_or_url)
{
    // A Windows drive letter ("C:/...") would parse as a scheme; only real schemes count.
    const QUrl url(path_or_url);
    if (url.scheme().size() > 1)
        return url;
    return QUrl::fromLocalFile(QDir::cleanPath(path_or_url));
}

} // namespace

int open_in_shell(const QString& path_or_url)
{
    if (path_or_url.isEmpty())
        return -1;
    const QUrl url = target_url(path_or_url);
    auto* app = QCoreApplication::instance();
    if (!app)
        return -1;
    if (QThread::currentThread() == app->thread())
        return open_now(url);
    // The desktop services belong to the user-interface thread; a worker only asks.
    QMetaObject::invokeMethod(app, [url] { open_now(url); }, Qt::QueuedConnection);
    return 0;
}

void set_shell_opener(shell_opener replacement)
{
    opener() = std::move(replacement);
}

} // namespace tarn
