// Photographs the volume page and the recovery page (tree, file table, picture preview) of a
// volume made by mkfs.fat and mtools. Run under a virtual X server by scripts/screenshots-pages:
//   page_screenshots LANGUAGE_FILE OUT_DIR

#include "tests/pages/page_driver.h"
#include "tests/pages/pages_fixture.h"

#include <QApplication>
#include <QScreen>
#include <QTest>

using namespace tarn;

namespace {

bool shoot(const QString& file)
{
    QTest::qWait(500);
    return QGuiApplication::primaryScreen()->grabWindow(0).save(file);
}

int run(const QString& language_file, const QString& out)
{
    test::pages_volume volume;
    if (!volume.build())
        return 1;
    test::page_driver driver(language_file);
    if (!shoot(out + QStringLiteral("/volumes.png")))
        return 1;
    driver.click_scan();
    if (!driver.wait_for_scan_end())
        return 1;
    driver.click_folder(QStringLiteral("#hotos"));
    driver.click_cell(driver.row_of(QStringLiteral("#otes.txt")), 0);
    driver.click_cell(driver.row_of(QStringLiteral("#oliday.png")), 0);
    QTest::qWait(500);
    return shoot(out + QStringLiteral("/recovery.png")) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    return run(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
}
