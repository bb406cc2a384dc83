#include "recovery/fat_tree.h"

#include "recovery/tree_folders.h"
#include "scan/fat_volume.h"

#include <algorithm>

namespace tarn {

namespace {

// Folders that hold recoverable files somewhere below them. Start cluster 0 has nothing to
// recover and no key of its own, so such a folder is never shown.
bool shown_fat_folder(const fat_record_s& record)
{
    return (record.attributes & fat_attr_directory) && record.has_files && record.start_cluster != 0;
}

bool is_fat_file_row(const fat_record_s* child)
{
    return child != nullptr && !(child->attributes & fat_attr_directory) && child->start_cluster != 0;
}

bool lists_fat_file(const fat_record_s& folder)
{
    return std::any_of(folder.children.begin(), folder.children.end(), is_fat_file_row);
}

} // namespace

std::unique_ptr<TreeModel> build_fat_tree(const std::unordered_map<std::uint32_t, fat_record_s>& findings)
{
    const auto root_record = findings.find(0);
    if (root_record == findings.end())
        return nullptr;
    auto model = std::make_unique<TreeModel>();
    TreeNode& root = model->root();
    TreeNode* top = root.append(std::make_unique<TreeNode>(QStringLiteral("/"), &root, &root_record->second));
    add_tree_folders(*top, root_record->second, shown_fat_folder, [](const fat_record_s& r) { return r.name; });
    // A volume whose deleted files all lie in its root still has something to show: "/" alone,
    // which lists them when clicked.
    if (top->children.empty() && !lists_fat_file(root_record->second))
        return nullptr;
    return model;
}

void list_fat_folder(const fat_record_s& folder, recovery_rows& rows)
{
    rows.clear();
    for (const fat_record_s* child : folder.children) {
        if (!is_fat_file_row(child))
            continue;
        recovery_item_s item;
        item.name = child->name;
        item.size = child->size;
        item.modified = child->modified;
        item.created = child->created;
        item.id = child->start_cluster;
        item.attributes = child->attributes;
        rows.push_back(std::move(item));
    }
}

} // namespace tarn
