// Draws every image the program's resources hold. Run by hand (tools/artwork/make-artwork);
// its output is committed.
//
//   tarn_artwork IMAGES_DIR [CONTACT_SHEET.png]   writes the images (and the sheet)
//   tarn_artwork --check IMAGES_DIR                exit 1 when the committed images differ

#include "tools/artwork/art_pieces.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

using namespace tarn::art;

int make_all(art_output& out)
{
    int result = 0;
    result |= make_frame(out);
    result |= make_system_buttons(out);
    result |= make_page_images(out);
    result |= make_home_images(out);
    result |= make_multilang(out);
    result |= make_animation(out);
    return result;
}

bool same_image(const QString& a, const QString& b)
{
    if (a.endsWith(QLatin1String(".gif"))) {
        QFile fa(a);
        QFile fb(b);
        return fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly) && fa.readAll() == fb.readAll();
    }
    const QImage ia(a);
    const QImage ib(b);
    return !ia.isNull() && ia.convertToFormat(QImage::Format_ARGB32) == ib.convertToFormat(QImage::Format_ARGB32);
}

int check(const QString& committed)
{
    QTemporaryDir fresh;
    art_output out(fresh.path());
    if (!fresh.isValid() || make_all(out) != 0)
        return 2;
    QTextStream err(stderr);
    int differing = 0;
    for (const QString& name : out.written()) {
        if (!same_image(fresh.filePath(name), committed + QLatin1Char('/') + name)) {
            err << "differs: " << name << '\n';
            ++differing;
        }
    }
    err << out.written().size() << " images, " << differing << " differ\n";
    return differing == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (load_fonts() != 0) {
        err << "the Noto fonts are missing: install fonts-noto-core and fonts-noto-cjk\n";
        return 2;
    }
    if (args.size() == 2 && args[0] == QLatin1String("--check"))
        return check(args[1]);
    if (args.isEmpty() || args.size() > 2 || args[0].startsWith(QLatin1Char('-'))) {
        err << "usage: tarn_artwork IMAGES_DIR [CONTACT_SHEET.png] | --check IMAGES_DIR\n";
        return 2;
    }
    art_output out(args[0]);
    if (make_all(out) != 0) {
        err << "could not write every image (is ImageMagick's convert installed?)\n";
        return 1;
    }
    if (args.size() == 2 && make_contact_sheet(args[0], out.written(), args[1]) != 0) {
        err << "could not write " << args[1] << '\n';
        return 1;
    }
    err << out.written().size() << " images written\n";
    return 0;
}
