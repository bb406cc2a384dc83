// Entry routine of the window program.

#include "app/init.h"
#include "disk/drive_enumeration.h"
#include "platform/system.h"
#include "scan/disk_sector_layer.h"
#include "ui/main_window.h"
#include "settings/settings.h"
#include "ui/interface_language.h"

#include <QApplication>
#include <QLockFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    // One instance at a time: a second one leaves at once, without a window; standard error says
    // why (another copy running, or a lock that cannot be taken), so it never fails silently.
    QString why;
    const auto instance = tarn::single_instance_lock(QStringLiteral("TarnRecovery"), &why);
    if (!instance) {
        std::fprintf(stderr, "tarnrecovery: %s\n", why.toLocal8Bit().constData());
        return -1;
    }

    // The settings and language texts come first: the window's texts and images depend on them.
    tarn::load_settings();
    QApplication app(argc, argv);
    // Before the window: its widgets take their direction and fixed captions when built.
    tarn::apply_interface_language();
    tarn::register_disk_meta_types();
    int result = 0;
    {
        tarn::main_window_c window;
        tarn::init_c worker;
        QObject::connect(&worker, &tarn::init_c::init_finished, &window, &tarn::main_window_c::on_init_finished);
        worker.start(QThread::InheritPriority);
        window.show();
        result = QApplication::exec();
        // The worker's destructor waits for it; it goes before the window it reports to.
    }
    tarn::disk_shutdown();
    return result;
}
