#pragma once
// Drives the main window as a user would, from the volume page to the recovery page's tree and
// file table, for the page tests.

#include "recovery/recovery_window.h"
#include "tests/pages/pages_fixture.h"
#include "tests/shell/shell_fixture.h"
#include "ui/main_window.h"

#include <QModelIndex>
#include <QTableView>
#include <QTreeView>

#include <memory>

class QPushButton;

namespace tarn::test {

class page_driver {
public:
    // The main window shown, start-up finished, the volume page current. With a language file
    // the window speaks its section (English unless named); without one, short made-up texts.
    explicit page_driver(const QString& language_file = {}, const QString& section = QStringLiteral("English"));
    ~page_driver();

    main_window_c& window() { return *window_; }
    recovery_window_c* recovery() const;
    shell_fixture& fixture() { return *fixture_; }
    QPushButton* button(const char* name) const;
    QTreeView* tree() const;
    QTableView* table() const;

    // Chooses volume row 1 with the mouse and clicks the volume page's scan button.
    void click_scan();
    // Waits (processing events) until no scan runs; false when it never ends.
    bool wait_for_scan_end();
    // click_scan(), then wait_for_scan_end().
    bool scan_to_end();
    // The tree row named name at any depth below the top folder "/", invalid when there is none.
    QModelIndex folder(const QString& name) const;
    void click_folder(const QString& name);
    // Row of the file table whose record is named name, -1 when none.
    int row_of(const QString& name) const;
    void click_cell(int row, int column);
    // The preview box as painted now: true when every pixel inside its outline is white.
    bool preview_is_white();
    // The texts the recovery page paints now (status line, preview text, …).
    QStringList painted_texts() const;

private:
    std::unique_ptr<shell_fixture> fixture_;
    std::unique_ptr<main_window_c> window_;
};

// The standard volume (pages_volume::build) scanned to its end, the window on the recovery page.
struct scanned_page {
    pages_volume volume;
    bool built = volume.build();
    page_driver driver;
    bool ready = built && driver.scan_to_end();
};

} // namespace tarn::test
