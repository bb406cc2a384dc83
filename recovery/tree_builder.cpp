#include "recovery/tree_builder.h"

#include "recovery/engine_table.h"
#include "settings/language.h"

namespace tarn {

std::unique_ptr<TreeModel> build_tree(int kind, const recovery_base_c& engine, bool live)
{
    const engine_entry_s* entry = engine_entry(kind);
    return entry != nullptr && entry->build_tree != nullptr ? entry->build_tree(engine, live) : nullptr;
}

void list_folder(int kind, const recovery_base_c& engine, const TreeNode* node, recovery_rows& rows, bool live)
{
    rows.clear();
    const engine_entry_s* entry = engine_entry(kind);
    if (node == nullptr || entry == nullptr || entry->list_folder == nullptr)
        return;
    entry->list_folder(engine, node->record, rows, live);
}

QString orphan_folder_name()
{
    // The command line loads no language texts.
    const QString text = language_text("orphan_files");
    return text.isEmpty() ? QStringLiteral("(orphan files)") : text;
}

} // namespace tarn
