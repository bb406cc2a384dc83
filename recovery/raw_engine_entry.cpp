// The signature (deep scan) engine in the engine table: one folder per file type below "/", one
// row per hit named by its sequence number and extension, or by the name a file-system scan found
// for a file that started at the same byte.

#include "recovery/engine_table.h"
#include "scan/raw_recovery.h"

namespace tarn {

namespace {

bool takes_deep_scan(const volume_item_s&, bool deep)
{
    return deep;
}

std::unique_ptr<recovery_base_c> make_raw_engine()
{
    return std::make_unique<raw_recovery_c>();
}

// The table pairs kind and engine; an engine of another class finds nothing.
const raw_recovery_c* raw_engine(const recovery_base_c& engine)
{
    return dynamic_cast<const raw_recovery_c*>(&engine);
}

// Carved files have no live or deleted state: live changes nothing.
std::unique_ptr<TreeModel> build_raw_tree(const recovery_base_c& engine, bool)
{
    const raw_recovery_c* raw = raw_engine(engine);
    if (raw == nullptr || raw->categories().empty())
        return nullptr;
    auto model = std::make_unique<TreeModel>();
    TreeNode& root = model->root();
    TreeNode* top = root.append(std::make_unique<TreeNode>(QStringLiteral("/"), &root, folder_record{}));
    for (const raw_category_s& category : raw->categories())
        top->append(std::make_unique<TreeNode>(category.extension, top, &category));
    return model;
}

void list_raw_folder(const recovery_base_c& engine, const folder_record& record, recovery_rows& rows, bool)
{
    rows.clear();
    const raw_recovery_c* raw = raw_engine(engine);
    const raw_category_s* category = record.get<raw_category_s>();
    if (raw == nullptr || category == nullptr)
        return;
    for (std::uint64_t sequence : category->sequences) {
        if (sequence >= raw->hits().size())
            continue;
        const raw_hit_s& hit = raw->hits()[static_cast<std::size_t>(sequence)];
        recovery_item_s item;
        const QString* known = raw->known_name(hit.offset);
        item.name = known != nullptr ? *known : raw_hit_name(hit);
        item.size = hit.size;
        item.id = hit.sequence;
        rows.push_back(std::move(item));
    }
}

int extract_raw_row(recovery_base_c& engine, const recovery_item_s& row, const QString& destination)
{
    return engine.recover_file(row.id, destination);
}

} // namespace

const engine_entry_s raw_engine_entry{scanner_raw,    takes_deep_scan, make_raw_engine,
                                      build_raw_tree, list_raw_folder, extract_raw_row};

} // namespace tarn
