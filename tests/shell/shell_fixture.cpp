#include "tests/shell/shell_fixture.h"

#include "platform/shell_open.h"
#include "settings/language.h"
#include "settings/settings.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>
#include <QFile>

namespace tarn::test {

namespace {

// Three sections, so that the menu's order and a change of language can be seen.
const char language_file[] = R"([English]
startup_warning="Still reading the drives."
back_warning="A scan is running. Leave it?"
quit_warning="A scan is running. Quit?"
language_warning="The new language is used at the next start."
main_warning1="Select a drive."
main_warning2="Select a volume."
menu_help="Help"
menu_exit="Exit"
menu_open_image="Open disk image…"
home_text1="First line"
home_text2="Second line"
home_text3="Third line"
[Deutsch]
menu_help="Hilfe"
menu_exit="Beenden"
home_text1="Erste Zeile"
[简体中文]
menu_help="帮助"
)";

} // namespace

shell_fixture::shell_fixture()
{
    previous_dir_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("config"))));
    QFile file(dir_.filePath(QStringLiteral("language.ini")));
    if (file.open(QIODevice::WriteOnly))
        file.write(language_file);
    file.close();
    language_table.clear();
    language_names.clear();
    language_index = 0;
    load_settings();
    set_warning_answerer([this](const warning_request_s& request) {
        boxes_.push_back(request);
        if (answers_.empty())
            return QMessageBox::Ok;
        const auto answer = answers_.front();
        answers_.pop_front();
        return answer;
    });
    set_shell_opener([this](const QUrl& url) {
        opened_.push_back(url);
        return 0;
    });
}

shell_fixture::~shell_fixture()
{
    set_warning_answerer({});
    set_shell_opener({});
    QDir::setCurrent(previous_dir_);
}

std::vector<warning_request_s> shell_fixture::take_boxes()
{
    return std::exchange(boxes_, {});
}

void answer_folder_dialog(const QString& folder)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, folder] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        dialog->setDirectory(folder);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    timer->start();
}

QStringList keys_of(const std::vector<warning_request_s>& boxes)
{
    QStringList keys;
    for (const auto& box : boxes)
        keys << QString::fromStdString(box.key);
    return keys;
}

} // namespace tarn::test
