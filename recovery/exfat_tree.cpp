#include "recovery/exfat_tree.h"

#include "recovery/tree_folders.h"

#include <algorithm>

namespace tarn {

namespace {

bool shown_exfat_folder(const exfat_record_s& record, bool live)
{
    return record.directory() && (record.has_files || (live && record.has_live_files)) && record.key != 0;
}

bool is_exfat_file_row(const exfat_record_s* child, bool live)
{
    return child != nullptr && !child->directory() && (live || child->deleted != 0);
}

bool lists_exfat_file(const exfat_record_s& folder, bool live)
{
    return std::any_of(folder.children.begin(), folder.children.end(),
                       [live](const exfat_record_s* child) { return is_exfat_file_row(child, live); });
}

// Set only where it differs: an uncertain record is written under its name from the disk.
QString differing_disk_name(const exfat_record_s& record)
{
    return record.uncertain() ? record.name : QString();
}

void add_exfat_folders(TreeNode& top, const exfat_record_s& record, bool live)
{
    add_tree_folders(
        top, record, [live](const exfat_record_s& r) { return shown_exfat_folder(r, live); }, exfat_shown_name,
        [](TreeNode& node, const exfat_record_s& r) { node.disk_name = differing_disk_name(r); });
}

} // namespace

QString exfat_shown_name(const exfat_record_s& record)
{
    return record.uncertain() ? QLatin1Char('?') + record.name : record.name;
}

std::unique_ptr<TreeModel> build_exfat_tree(const std::unordered_map<std::uint64_t, exfat_record_s>& findings,
                                            const exfat_record_s& lost, bool live)
{
    const auto root = findings.find(0);
    return two_top_tree(
        root != findings.end() ? &root->second : nullptr, lost, lost.has_files || (live && lost.has_live_files),
        [live](TreeNode& top, const exfat_record_s& record) { add_exfat_folders(top, record, live); },
        [live](const exfat_record_s& folder) { return lists_exfat_file(folder, live); });
}

void list_exfat_folder(const exfat_record_s& folder, recovery_rows& rows, bool live)
{
    rows.clear();
    for (const exfat_record_s* child : folder.children) {
        if (!is_exfat_file_row(child, live))
            continue;
        recovery_item_s item;
        item.name = exfat_shown_name(*child);
        item.disk_name = differing_disk_name(*child);
        item.size = child->size;
        item.modified = child->modified;
        item.created = child->created;
        item.accessed = child->accessed;
        item.id = child->key;
        item.attributes = child->attributes | (child->deleted ? exfat_row_deleted : 0u)
                          | (child->uncertain() ? exfat_row_uncertain : 0u);
        item.overwritten = child->overwritten != 0;
        rows.push_back(std::move(item));
    }
}

} // namespace tarn
