#include "recovery/tree_extraction.h"

#include "recovery/tree_builder.h"
#include "scan/recovery_base.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

namespace tarn {

namespace {

bool inside(const QString& path, const QString& root)
{
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

} // namespace

std::vector<branch_folder_s> list_branch(int kind, const recovery_base_c& engine, const TreeNode& node)
{
    std::vector<branch_folder_s> branch;
    std::vector<std::pair<const TreeNode*, int>> pending{{&node, -1}};
    while (!pending.empty()) {
        const auto [at, parent] = pending.back();
        pending.pop_back();
        branch_folder_s folder;
        folder.parent = parent;
        folder.name = parent < 0 ? QString() : at->name;
        folder.disk_name = parent < 0 ? QString() : at->disk_name;
        list_folder(kind, engine, at, folder.rows);
        for (recovery_item_s& row : folder.rows)
            row.checked = true;
        branch.push_back(std::move(folder));
        const int index = static_cast<int>(branch.size()) - 1;
        // Reversed onto the stack, so that the folders come out in the tree's order.
        for (auto child = at->children.rbegin(); child != at->children.rend(); ++child)
            pending.emplace_back(child->get(), index);
    }
    return branch;
}

QStringList branch_path(const std::vector<branch_folder_s>& branch, int index)
{
    QStringList names;
    for (int at = index; at > 0 && at < static_cast<int>(branch.size()); at = branch[at].parent)
        names.prepend(branch[at].name);
    return names;
}

int extract_branch(recovery_base_c& engine, int kind, const std::vector<branch_folder_s>& branch, const QString& target,
                   const std::atomic<bool>* stop, const extraction_report& report)
{
    const QString root = QDir().mkpath(target) ? QFileInfo(target).canonicalFilePath() : QString();
    // Each folder's place in target, made safe once and reused by the folders below it.
    std::vector<QString> places(branch.size());
    int failed = 0;
    for (std::size_t i = 0; i < branch.size() && (stop == nullptr || !*stop); ++i) {
        const branch_folder_s& folder = branch[i];
        const QString base = folder.parent < 0 ? root : places[static_cast<std::size_t>(folder.parent)];
        if (!base.isEmpty())
            places[i] = folder.parent < 0 ? base : base + QLatin1Char('/') + written_folder_name(folder.name, folder.disk_name);
        if (folder.rows.empty())
            continue;
        const QString real = !places[i].isEmpty() && QDir().mkpath(places[i]) ? QFileInfo(places[i]).canonicalFilePath() : QString();
        if (root.isEmpty() || real.isEmpty() || !inside(real, root)) {
            failed += static_cast<int>(folder.rows.size());
            for (const recovery_item_s& row : folder.rows)
                if (report)
                    report(row, recovery_unwritable);
            continue;
        }
        failed += extract_rows(engine, kind, real, folder.rows, stop, report);
    }
    return failed;
}

} // namespace tarn
