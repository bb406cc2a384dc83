#pragma once
// The folder tree of a finished scan. Nodes point into the findings of the engine that made
// them and never own them: the page replaces the tree before that engine is reset.

#include <QAbstractItemModel>
#include <QIcon>
#include <QString>

#include <memory>
#include <vector>

namespace tarn {

// The finding a folder of the tree stands for, typed by the engine that made it; nothing for the
// root and for the deep scan's top folder. Only the engine's own entry reads it back, asking for
// its own record type, so the tree knows no engine's types and a new engine changes nothing here.
class folder_record {
public:
    folder_record() = default;
    template <class Record>
    folder_record(const Record* record) : record_(record), type_(record != nullptr ? &type_tag<Record> : nullptr)
    {
    }
    // The record, when it is one of this type; else null.
    template <class Record> const Record* get() const
    {
        return type_ == &type_tag<Record> ? static_cast<const Record*>(record_) : nullptr;
    }
    bool operator==(const folder_record& other) const { return record_ == other.record_ && type_ == other.type_; }

private:
    // One address per record type: the type's identity without run-time type information.
    template <class Record> static constexpr char type_tag = 0;

    const void* record_ = nullptr;
    const char* type_ = nullptr;
};

struct TreeNode {
    TreeNode(QString node_name, TreeNode* node_parent, folder_record node_record);
    // Takes the subtree apart without recursion: a damaged volume can nest folders thousands deep.
    ~TreeNode();
    TreeNode(const TreeNode&) = delete;
    TreeNode& operator=(const TreeNode&) = delete;

    std::vector<std::unique_ptr<TreeNode>> children; // sub-folders, in insertion order
    QString name;
    QString disk_name;    // the name as the disk keeps it where it differs from name (see recovery_item_s)
    TreeNode* parent;     // null for the root
    folder_record record; // the engine's finding for this folder

    // Takes child (whose parent must be this node) and returns it.
    TreeNode* append(std::unique_ptr<TreeNode> child);
    // Position of child among children, -1 when it is not one of them.
    int row_of(const TreeNode* child) const;
};

// Read-only, one column, no check states, no sorting: folders appear in the engine's order.
class TreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit TreeModel(QObject* parent = nullptr);
    ~TreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The invisible root, named "Title"; its children are the top-level rows. Filled only
    // before the model is put on a view.
    TreeNode& root() { return *root_; }
    // The node an index of this model carries; null for an invalid index.
    static const TreeNode* node(const QModelIndex& index);

private:
    const TreeNode* node_or_root(const QModelIndex& index) const;

    std::unique_ptr<TreeNode> root_;
    QIcon folder_icon_;
};

} // namespace tarn
