// The settings file read at start from the working directory (a scratch folder here), with the
// language it names loaded from a language file beside it, and the list of recent images.

#include "settings/language.h"
#include "settings/settings.h"
#include "tests/fuzz/fuzz_support.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

using namespace tarn;

namespace {

// The per-user store and the language file live in the scratch folder too, so that nothing of
// the user's is read or written.
bool setup()
{
    qputenv("HOME", QFile::encodeName(fuzz::scratch_dir()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(fuzz::scratch_dir()));
    const char language[] = "[English]\nok = \"OK\"\n[Deutsch]\nok = \"Gut\"\n";
    fuzz::scratch_file(QStringLiteral("language.ini"),
                       {reinterpret_cast<const std::uint8_t*>(language), sizeof language - 1});
    return QDir::setCurrent(fuzz::scratch_dir());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = setup();
    static qint64 inputs = 0;
    if (!ready)
        return 0;
    QFile file(fuzz::scratch_file(QStringLiteral("TarnRecovery.ini"), {data, size}));
    // The toolkit keeps a parsed settings file while its size and time stay the same: every
    // input gets a time of its own, so that each one is parsed.
    file.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000 + ++inputs), QFileDevice::FileModificationTime);
    load_settings();
    recent_images();
    language_table.clear();
    return 0;
}
