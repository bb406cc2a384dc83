// The language file: English loaded as the base and another section chosen over it, as at
// start, then the chosen language's codes.

#include "settings/language.h"
#include "tests/fuzz/fuzz_support.h"

using namespace tarn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = fuzz::scratch_file(QStringLiteral("language.ini"), {data, size});
    load_language_file(path, QStringLiteral("English"), false);
    load_language_file(path, QStringLiteral("Deutsch"), true);
    language_code();
    language_locale();
    // The table only ever grows in the program; here it would grow with every input.
    language_table.clear();
    return 0;
}
