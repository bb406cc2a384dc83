#include "recovery/tree_extraction.h"

#include "platform/target_folder.h"
#include "recovery/tree_builder.h"
#include "scan/recovery_base.h"

#include <QDir>

#include <memory>
#include <utility>

namespace tarn {

std::vector<branch_folder_s> list_branch(int kind, const recovery_base_c& engine, const TreeNode& node, bool live)
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
        list_folder(kind, engine, at, folder.rows, live);
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

int drop_overwritten(std::vector<branch_folder_s>& branch)
{
    int dropped = 0;
    for (branch_folder_s& folder : branch)
        dropped += static_cast<int>(std::erase_if(folder.rows, [](const recovery_item_s& row) { return row.overwritten; }));
    return dropped;
}

QStringList branch_path(const std::vector<branch_folder_s>& branch, int index)
{
    QStringList names;
    for (int at = index; at > 0 && at < static_cast<int>(branch.size()); at = branch[at].parent)
        names.prepend(branch[at].name);
    return names;
}

namespace {

// Folders below the target that are made and held open at once: the folders on the way down to
// the one being written, each a descriptor. Deeper folders are not written (a path that deep
// could not be written by name either).
constexpr std::size_t deepest_folder = 512;

// The folders from the target down to the one being written, each opened inside the one
// before it when first needed: nothing is made for a folder without files, no folder is
// reached through a link, and a folder that cannot be made fails only the files below it.
class folder_chain_c {
public:
    folder_chain_c(std::unique_ptr<target_folder_c> root, QString target) : root_(std::move(root)), target_(std::move(target)) {}

    // Moves to branch folder index, whose parent is parent (-1 for the branch's own folder).
    void enter(int index, int parent, QString name)
    {
        while (!links_.empty() && links_.back().index != parent)
            links_.pop_back();
        links_.push_back({index, std::move(name), nullptr});
    }
    // The folder entered last, made and opened (with those above it); null when it cannot be.
    const target_folder_c* open()
    {
        if (!root_ || links_.size() > deepest_folder)
            return nullptr;
        const target_folder_c* above = root_.get();
        for (std::size_t i = 1; i < links_.size(); ++i) {
            link_s& link = links_[i];
            if (!link.folder)
                link.folder = above->subfolder(link.name);
            if (!link.folder)
                return nullptr;
            above = link.folder.get();
        }
        return above;
    }
    // The path of the folder entered last, made from the names on the way down when asked (for
    // folders that hold files, no deeper than deepest_folder): a path kept for every folder would
    // cost the depth times the folder count, which a damaged volume nesting folders thousands deep
    // turns into more memory than there is.
    QString path() const
    {
        QString out = target_;
        for (std::size_t i = 1; i < links_.size(); ++i)
            out += QLatin1Char('/') + links_[i].name;
        return out;
    }

private:
    struct link_s {
        int index;
        QString name;
        std::unique_ptr<target_folder_c> folder; // null for the branch's own folder: the root
    };
    std::unique_ptr<target_folder_c> root_;
    QString target_;
    std::vector<link_s> links_;
};

} // namespace

int extract_branch(recovery_base_c& engine, int kind, const std::vector<branch_folder_s>& branch, const QString& target,
                   const std::atomic<bool>* stop, const extraction_report& report)
{
    folder_chain_c chain(QDir().mkpath(target) ? target_folder_c::open(target) : nullptr, target);
    int failed = 0;
    for (std::size_t i = 0; i < branch.size() && (stop == nullptr || !*stop); ++i) {
        const branch_folder_s& folder = branch[i];
        const QString name = folder.parent < 0 ? QString() : written_folder_name(folder.name, folder.disk_name);
        chain.enter(static_cast<int>(i), folder.parent, name);
        if (folder.rows.empty())
            continue;
        const target_folder_c* place = chain.open();
        if (place == nullptr) {
            failed += static_cast<int>(folder.rows.size());
            for (const recovery_item_s& row : folder.rows)
                if (report)
                    report(row, recovery_unwritable);
            continue;
        }
        failed += extract_rows_into(engine, kind, *place, chain.path(), folder.rows, stop, report);
    }
    return failed;
}

} // namespace tarn
