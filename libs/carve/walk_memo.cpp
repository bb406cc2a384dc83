#include "libs/carve/walk_memo.h"

#include <algorithm>

namespace tarn {

void walk_path_c::pass(std::uint64_t at)
{
    if (!runs_.empty()) {
        run_s& last = runs_.back();
        const std::uint64_t last_at = last.first + last.step * (last.count - 1);
        if (at <= last_at)
            return; // walks only go forward; anything else is not kept
        if (last.count == 1)
            last.step = at - last.first;
        if (at - last_at == last.step) {
            ++last.count;
            return;
        }
    }
    if (runs_.size() < most_runs)
        runs_.push_back({at, 0, 1});
}

bool walk_path_c::holds(std::uint64_t at) const
{
    const auto after = std::upper_bound(runs_.begin(), runs_.end(), at,
                                        [](std::uint64_t value, const run_s& run) { return value < run.first; });
    if (after == runs_.begin())
        return false;
    const run_s& run = *(after - 1);
    if (run.count == 1)
        return at == run.first;
    return (at - run.first) % run.step == 0 && (at - run.first) / run.step < run.count;
}

const walk_outcome_s* walk_memo_c::outcome(std::uint64_t at, std::uint64_t stop) const
{
    for (const walk_s& walk : walks_)
        if (!walk.path.empty() && (stop == walk.stop || (!walk.by_stop && stop > walk.stop)) && walk.path.holds(at))
            return &walk.outcome;
    return nullptr;
}

void walk_memo_c::keep(const carve_reader_c& in, walk_path_c&& path, walk_outcome_s outcome, std::uint64_t stop,
                       bool by_stop)
{
    if (path.empty() || in.over_limit())
        return;
    walks_[next_] = {std::move(path), outcome, stop, by_stop};
    next_ = (next_ + 1) % walks_.size();
}

} // namespace tarn
