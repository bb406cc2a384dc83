#pragma once
// A whole branch of the folder tree at once: every file at and below a folder, listed with the
// folders that hold it, and written out re-creating those folders. The command line recovers a
// volume this way; the walk keeps its own stack, so folders nested thousands deep are no risk.

#include "recovery/file_extraction.h"
#include "recovery/recovery_rows.h"
#include "recovery/tree_model.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace tarn {

class recovery_base_c;

struct branch_folder_s {
    int parent = -1; // index of the folder that holds this one; -1 for the branch's own folder
    QString name;    // as the engine found it; empty for the branch's own folder
    QString disk_name; // as the disk keeps it where that differs (see recovery_item_s)
    recovery_rows rows;
};

// The folders at and below node (node first, then depth first in tree order) with their files,
// every row checked.
std::vector<branch_folder_s> list_branch(int kind, const recovery_base_c& engine, const TreeNode& node, bool live);
// Leaves out the rows whose clusters the file system in place took (their copies would hold
// somebody else's bytes): they are written only when asked for one by one. How many went.
int drop_overwritten(std::vector<branch_folder_s>& branch);
// The names of the folders from the branch's own folder down to folder index, as found.
QStringList branch_path(const std::vector<branch_folder_s>& branch, int index);

// Writes every file of the branch into target, each folder under its safe name, made inside its
// parent as it is opened (a link waiting under a folder's name is never followed); files of a
// folder that cannot be made are not written (and reported as unwritable). Ends early when stop is set. How many files could not
// be written.
int extract_branch(recovery_base_c& engine, int kind, const std::vector<branch_folder_s>& branch, const QString& target,
                   const std::atomic<bool>* stop = nullptr, const extraction_report& report = {});

} // namespace tarn
