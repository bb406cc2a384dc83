#include "recovery/fat_tree.h"

#include "recovery/tree_builder.h"
#include "recovery/tree_folders.h"
#include "scan/fat_date.h"
#include "scan/fat_volume.h"

#include <algorithm>

namespace tarn {

namespace {

// Folders that hold recoverable files somewhere below them. Start cluster 0 has nothing to
// recover and no key of its own, so such a folder is never shown.
bool shown_fat_folder(const fat_record_s& record, bool live)
{
    return (record.attributes & fat_attr_directory) && (record.has_files || (live && record.has_live_files))
           && record.start_cluster != 0;
}

bool is_fat_file_row(const fat_record_s* child, bool live)
{
    return child != nullptr && !(child->attributes & fat_attr_directory) && child->start_cluster != 0
           && (live || (child->attributes & fat_attr_deleted));
}

bool lists_fat_file(const fat_record_s& folder, bool live)
{
    return std::any_of(folder.children.begin(), folder.children.end(),
                       [live](const fat_record_s* child) { return is_fat_file_row(child, live); });
}

// Set only where it differs: most names are shown as the disk keeps them.
QString differing_disk_name(const fat_record_s& record)
{
    QString disk = fat_disk_name(record);
    return disk == record.name ? QString() : disk;
}

// Below top, the folders the tree shows, each with the name the disk keeps for it.
void add_fat_folders(TreeNode& top, const fat_record_s& record, bool live)
{
    add_tree_folders(
        top, record, [live](const fat_record_s& r) { return shown_fat_folder(r, live); },
        [](const fat_record_s& r) { return r.name; },
        [](TreeNode& node, const fat_record_s& r) { node.disk_name = differing_disk_name(r); });
}

} // namespace

std::unique_ptr<TreeModel> build_fat_tree(const std::unordered_map<std::uint32_t, fat_record_s>& findings,
                                          const fat_record_s& lost, bool live)
{
    const auto root_record = findings.find(0);
    return two_top_tree(
        root_record != findings.end() ? &root_record->second : nullptr, lost,
        lost.has_files || (live && lost.has_live_files),
        [live](TreeNode& top, const fat_record_s& record) { add_fat_folders(top, record, live); },
        [live](const fat_record_s& folder) { return lists_fat_file(folder, live); });
}

void list_fat_folder(const fat_record_s& folder, recovery_rows& rows, bool live)
{
    rows.clear();
    for (const fat_record_s* child : folder.children) {
        if (!is_fat_file_row(child, live))
            continue;
        recovery_item_s item;
        item.name = child->name;
        item.disk_name = differing_disk_name(*child);
        item.size = child->size;
        item.modified = child->modified;
        item.created = child->created;
        item.accessed = child->access_date != 0 ? fat_time_to_unix(child->access_date, 0) : 0;
        item.id = child->start_cluster | ((child->attributes & fat_attr_deleted) != 0 ? 0 : fat_live_id);
        item.attributes = child->attributes;
        item.overwritten = child->overwritten != 0;
        rows.push_back(std::move(item));
    }
}

} // namespace tarn
