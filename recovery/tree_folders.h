#pragma once
// The walk every engine's tree rule shares: below a top folder, the children its rule shows,
// depth first, each at most once (a damaged volume can name folders as each other's parents,
// and such a loop must not hang the page), without recursion.

#include "recovery/tree_builder.h"
#include "recovery/tree_model.h"

#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tarn {

// Record has `children` (pointers to Record); shown(record) says whether a child is a folder the
// tree shows; name(record) its name; made(node, record) completes each node added.
template <class Record, class Shown, class Name, class Made>
void add_tree_folders(TreeNode& top, const Record& top_record, Shown shown, Name name, Made made)
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
            made(*added, *child);
            pending.emplace_back(added, child);
        }
    }
}

template <class Record, class Shown, class Name>
void add_tree_folders(TreeNode& top, const Record& top_record, Shown shown, Name name)
{
    add_tree_folders(top, top_record, shown, name, [](TreeNode&, const Record&) {});
}

// The tree of an engine that keeps a root record and a record of files whose folder is lost: "/"
// over the root (kept alone when the root itself lists files: a volume whose deleted files all
// lie there still has something to show), and the lost files' folder when it holds any; none
// when neither has anything (lost_shown: the lost files' folder holds files to show). add(node,
// record) adds the folders below a top folder.
template <class Record, class Add, class ListsFiles>
std::unique_ptr<TreeModel> two_top_tree(const Record* root_record, const Record& lost, bool lost_shown, Add add,
                                        ListsFiles lists_files)
{
    auto model = std::make_unique<TreeModel>();
    TreeNode& root = model->root();
    if (root_record != nullptr) {
        TreeNode* top = root.append(std::make_unique<TreeNode>(QStringLiteral("/"), &root, root_record));
        add(*top, *root_record);
        if (top->children.empty() && !lists_files(*root_record))
            root.children.clear();
    }
    if (lost_shown) {
        TreeNode* top = root.append(std::make_unique<TreeNode>(orphan_folder_name(), &root, &lost));
        add(*top, lost);
    }
    return root.children.empty() ? nullptr : std::move(model);
}

} // namespace tarn
