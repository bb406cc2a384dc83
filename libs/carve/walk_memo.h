#pragma once
// What the walks over chains of records (TAR headers, RAR blocks, ZIP local headers) found, kept
// for the rest of the scan. A later candidate whose walk lands on a record an earlier walk passed
// goes on exactly as that walk did from there, so it takes that walk's outcome instead of walking
// the chain again. Without this a volume of records that chain to its end costs a walk to the end
// from every record in it: the scan becomes quadratic.

#include "libs/carve/carve_reader.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tarn {

// The records one walk passed, in volume order, kept as runs of records an equal step apart: a
// chain of records of one size costs a few bytes however long it is. Past a few thousand runs the
// rest is left out, which only means that later walks from there walk again.
class walk_path_c {
public:
    void pass(std::uint64_t at);
    bool holds(std::uint64_t at) const;
    bool empty() const { return runs_.empty(); }

private:
    struct run_s {
        std::uint64_t first;
        std::uint64_t step;
        std::uint64_t count;
    };
    static constexpr std::size_t most_runs = 1 << 14;
    std::vector<run_s> runs_;
};

// How a walk ended: where, and what the format made of it (its own codes; 0 is "no file").
struct walk_outcome_s {
    std::uint64_t at = 0;
    int how = 0;
};

// The last few walks of one format with their outcomes.
class walk_memo_c final : public carve_memo_i {
public:
    // The outcome of an earlier walk that passed the record at at, when a walk that reaches it and
    // may go as far as stop must end the same way; none otherwise.
    const walk_outcome_s* outcome(std::uint64_t at, std::uint64_t stop) const;
    // Keeps the walk that passed path and ended with outcome, allowed as far as stop; by_stop when
    // stop decided the end (a record ran past it), so that it holds only for walks with that stop.
    // A walk that stopped at its count of records must not be kept: a later start counts afresh.
    // Nor is one that in's limit on work cut short.
    void keep(const carve_reader_c& in, walk_path_c&& path, walk_outcome_s outcome, std::uint64_t stop, bool by_stop);

private:
    struct walk_s {
        walk_path_c path;
        walk_outcome_s outcome;
        std::uint64_t stop = 0;
        bool by_stop = false;
    };
    std::array<walk_s, 4> walks_;
    std::size_t next_ = 0;
};

} // namespace tarn
