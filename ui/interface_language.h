#pragma once
// The toolkit's side of the chosen language: the toolkit's own catalog (standard buttons of
// message boxes, the folder chooser), the program's catalog of the few fixed captions that go
// through tr(), and the direction the window is laid out in.

#include <QString>

namespace tarn {

struct interface_language_s {
    // The toolkit's locale name of the language ("de", "zh_CN", "en", …).
    QString locale;
    // Whether each catalog was found and installed; English needs neither.
    bool toolkit_catalog = false;
    bool own_catalog = false;
};

// Installs the catalogs of the language chosen in the settings and lays the application out
// right to left when that language is written so. Needs the application object; call it before
// the window is built. A later call replaces what an earlier one installed. A missing catalog
// leaves those texts in English and is reported as a warning on standard error.
interface_language_s apply_interface_language();

} // namespace tarn
