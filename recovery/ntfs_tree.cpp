#include "recovery/ntfs_tree.h"

#include "recovery/tree_folders.h"

#include <utility>

namespace tarn {

namespace {

bool shown_ntfs_folder(const ntfs_record_s& record, bool live)
{
    return record.is_directory() && (record.has_files || (live && record.has_live_files))
           && record.record_number() > ntfs_last_system_record;
}

QString ntfs_name(const ntfs_record_s& record)
{
    return record.name();
}

bool is_ntfs_file_row(const ntfs_record_s* child, bool live)
{
    return child != nullptr && child->is_file() && child->record_number() > ntfs_last_system_record
           && (live || child->is_deleted());
}

bool lists_files(const ntfs_record_s& folder, bool live)
{
    for (const ntfs_record_s* child : folder.children)
        if (is_ntfs_file_row(child, live))
            return true;
    return false;
}

} // namespace

std::unique_ptr<TreeModel> build_ntfs_tree(const std::unordered_map<std::uint64_t, ntfs_record_s>& findings,
                                           const ntfs_record_s& orphans, bool live)
{
    const auto top_record = findings.find(ntfs_root_record);
    return two_top_tree(
        top_record != findings.end() ? &top_record->second : nullptr, orphans,
        orphans.has_files || (live && orphans.has_live_files),
        [live](TreeNode& top, const ntfs_record_s& record) {
            add_tree_folders(top, record, [live](const ntfs_record_s& r) { return shown_ntfs_folder(r, live); }, ntfs_name);
        },
        [live](const ntfs_record_s& folder) { return lists_files(folder, live); });
}

void list_ntfs_folder(const ntfs_record_s& folder, recovery_rows& rows, bool live)
{
    rows.clear();
    for (const ntfs_record_s* child : folder.children) {
        if (!is_ntfs_file_row(child, live))
            continue;
        recovery_item_s item;
        item.name = child->name();
        item.size = child->size();
        item.modified = child->modified();
        item.created = child->created();
        item.id = child->record_number();
        item.attributes = child->flags();
        item.overwritten = child->overwritten != 0;
        rows.push_back(std::move(item));
    }
}

} // namespace tarn
