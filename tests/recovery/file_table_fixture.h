#pragma once
// The file table as the recovery page sets it up (delegate, whole-row selection, 33- and
// 235-pixel first sections), with the page's answers to the heading: sort, and check-all
// followed by a new model.

#include "recovery/my_header_view.h"
#include "recovery/my_qtable_view.h"
#include "recovery/recovery_model.h"

#include <memory>

namespace tarn::test {

struct file_table_s {
    explicit file_table_s(recovery_rows initial = {});

    // A new model over the list replaces the old one whole, as the page does.
    void replace_model();
    // A real mouse click on the heading at x.
    void click_header(int x);

    recovery_rows rows;
    MyQTableView view;
    MyHeaderView* header;
    std::unique_ptr<recovery_model_c> model;
};

} // namespace tarn::test
