#pragma once
// Opening a folder or a web page in the desktop's own programs (file manager, browser).

#include <QString>
#include <QUrl>

#include <functional>

namespace tarn {

// Opens a local path or an address with a scheme ("https://…", "file://…") in the desktop
// shell. Safe from any thread: the request is carried out on the user-interface thread. 0 when
// the request was made (or handed to that thread), -1 for an empty target or when the shell
// refused it.
int open_in_shell(const QString& path_or_url);

// Replaces what open_in_shell does with the address it was given; an empty function restores
// the desktop shell. Tests use it so that no window opens.
using shell_opener = std::function<int(const QUrl&)>;
void set_shell_opener(shell_opener opener);

} // namespace tarn
