#pragma once
// The files the user ticked, remembered by engine and id across the folders the page lists, so
// that a click on another folder keeps them and one recovery writes them all.

#include "recovery/recovery_rows.h"

#include <cstdint>
#include <map>
#include <utility>

namespace tarn {

class checked_records_c {
public:
    void clear() { checked_.clear(); }
    bool empty() const { return checked_.empty(); }
    std::size_t size() const { return checked_.size(); }
    void set(int kind, const recovery_item_s& record, bool checked);
    // Ticks the rows that were ticked before; true when every row is.
    bool mark(int kind, recovery_rows& rows) const;
    // Every remembered record of that engine, ticked, in id order.
    recovery_rows rows(int kind) const;

private:
    std::map<std::pair<int, std::uint64_t>, recovery_item_s> checked_;
};

} // namespace tarn
