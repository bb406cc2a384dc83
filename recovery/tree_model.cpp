#include "recovery/tree_model.h"

#include <utility>

namespace tarn {

TreeNode::TreeNode(QString node_name, TreeNode* node_parent, folder_record node_record)
    : name(std::move(node_name)), parent(node_parent), record(node_record)
{
}

TreeNode::~TreeNode()
{
    std::vector<std::unique_ptr<TreeNode>> pending = std::move(children);
    while (!pending.empty()) {
        std::unique_ptr<TreeNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->children)
            pending.push_back(std::move(child));
        node->children.clear();
    }
}

TreeNode* TreeNode::append(std::unique_ptr<TreeNode> child)
{
    children.push_back(std::move(child));
    return children.back().get();
}

int TreeNode::row_of(const TreeNode* child) const
{
    for (std::size_t i = 0; i < children.size(); ++i)
        if (children[i].get() == child)
            return static_cast<int>(i);
    return -1;
}

TreeModel::TreeModel(QObject* parent)
    : QAbstractItemModel(parent),
      root_(std::make_unique<TreeNode>(QStringLiteral("Title"), nullptr, folder_record{})),
      folder_icon_(QStringLiteral(":/images/recovery/folder.png"))
{
}

TreeModel::~TreeModel() = default;

const TreeNode* TreeModel::node(const QModelIndex& index)
{
    return index.isValid() ? static_cast<const TreeNode*>(index.internalPointer()) : nullptr;
}

const TreeNode* TreeModel::node_or_root(const QModelIndex& index) const
{
    return index.isValid() ? node(index) : root_.get();
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    const TreeNode* folder = node_or_root(parent);
    if (row < 0 || static_cast<std::size_t>(row) >= folder->children.size() || !folder->children[row])
        return {};
    return createIndex(row, column, folder->children[row].get());
}

QModelIndex TreeModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return {};
    const TreeNode* up = node(index)->parent;
    if (up == nullptr || up == root_.get())
        return {};
    const int row = up->parent ? up->parent->row_of(up) : 0;
    return createIndex(row, 0, up);
}

int TreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return static_cast<int>(node_or_root(parent)->children.size());
}

int TreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant TreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return node(index)->name;
    if (role == Qt::DecorationRole)
        return folder_icon_;
    return {};
}

QVariant TreeModel::headerData(int, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return root_->name;
    return {};
}

Qt::ItemFlags TreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

} // namespace tarn
