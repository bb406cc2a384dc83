#include "recovery/ntfs_tree.h"

#include "recovery/tree_folders.h"

#include <utility>

namespace tarn {

namespace {

bool shown_ntfs_folder(const ntfs_record_s& record)
{
    return record.is_directory() && record.has_files && record.record_number() > ntfs_last_system_record;
}

QString ntfs_name(const ntfs_record_s& record)
{
    return record.name();
}

bool is_ntfs_file_row(const ntfs_record_s* child)
{
    return child != nullptr && child->is_file() && child->record_number() > ntfs_last_system_record;
}

bool lists_files(const ntfs_record_s& folder)
{
    for (const ntfs_record_s* child : folder.children)
        if (is_ntfs_file_row(child))
            return true;
    return false;
}

} // namespace

std::unique_ptr<TreeModel> build_ntfs_tree(const std::unordered_map<std::uint64_t, ntfs_record_s>& findings,
                                           const ntfs_record_s& orphans)
{
    auto model = std::make_unique<TreeModel>();
    TreeNode& root = model->root();
    if (const auto top_record = findings.find(ntfs_root_record); top_record != findings.end()) {
        TreeNode* top = root.append(std::make_unique<TreeNode>(QStringLiteral("/"), &root, &top_record->second));
        add_tree_folders(*top, top_record->second, shown_ntfs_folder, ntfs_name);
        if (top->children.empty() && !lists_files(top_record->second))
            root.children.clear();
    }
    if (orphans.has_files) {
        TreeNode* lost = root.append(std::make_unique<TreeNode>(orphan_folder_name(), &root, &orphans));
        add_tree_folders(*lost, orphans, shown_ntfs_folder, ntfs_name);
    }
    return root.children.empty() ? nullptr : std::move(model);
}

void list_ntfs_folder(const ntfs_record_s& folder, recovery_rows& rows)
{
    rows.clear();
    for (const ntfs_record_s* child : folder.children) {
        if (!is_ntfs_file_row(child))
            continue;
        recovery_item_s item;
        item.name = child->name();
        item.size = child->size();
        item.modified = child->modified();
        item.created = child->created();
        item.id = child->record_number();
        item.attributes = child->flags();
        rows.push_back(std::move(item));
    }
}

} // namespace tarn
