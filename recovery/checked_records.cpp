#include "recovery/checked_records.h"

namespace tarn {

void checked_records_c::set(int kind, const recovery_item_s& record, bool checked)
{
    if (!checked) {
        checked_.erase({kind, record.id});
        return;
    }
    recovery_item_s kept = record;
    kept.checked = true;
    checked_.insert_or_assign({kind, record.id}, std::move(kept));
}

bool checked_records_c::mark(int kind, recovery_rows& rows) const
{
    bool all = !rows.empty();
    for (recovery_item_s& row : rows) {
        row.checked = checked_.contains({kind, row.id});
        all = all && row.checked;
    }
    return all;
}

recovery_rows checked_records_c::rows(int kind) const
{
    recovery_rows out;
    for (auto it = checked_.lower_bound({kind, 0}); it != checked_.end() && it->first.first == kind; ++it)
        out.push_back(it->second);
    return out;
}

} // namespace tarn
