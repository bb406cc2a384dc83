#pragma once
// The walk every engine's tree rule shares: below a top folder, the children its rule shows,
// depth first, each at most once (a damaged volume can name folders as each other's parents,
// and such a loop must not hang the page), without recursion.

#include "recovery/tree_model.h"

#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tarn {

// Record has `children` (pointers to Record); shown(record) says whether a child is a folder the
// tree shows; name(record) its name.
template <class Record, class Shown, class Name>
void add_tree_folders(TreeNode& top, const Record& top_record, Shown shown, Name name)
{
    std::unordered_set<const Record*> seen{&top_record};
    std::vector<std::pair<TreeNode*, const Record*>> pending{{&top, &top_record}};
    while (!pending.empty()) {
        auto [node, record] = pending.back();
        pending.pop_back();
        for (const Record* child : record->children) {
            if (child == nullptr || !shown(*child) || !seen.insert(child).second)
                continue;
            TreeNode* added = node->append(std::make_unique<TreeNode>(name(*child), node, child));
            pending.emplace_back(added, child);
        }
    }
}

} // namespace tarn
