// The folder tree and the folder listing over hand-made findings (the cases a real volume
// cannot be made to show on demand) and over the FAT engine's findings of an mtools volume.

#include "recovery/scanner_kind.h"
#include "recovery/fat_tree.h"
#include "recovery/tree_builder.h"
#include "scan/fat_recovery.h"
#include "scan/fat_volume.h"
#include "tests/recovery/recovery_fixture.h"

#include <QAbstractItemModelTester>
#include <QTest>

#include <unordered_map>

using namespace tarn;

namespace {

using findings_t = std::unordered_map<std::uint32_t, fat_record_s>;

constexpr std::uint8_t dir_attr = fat_attr_directory;
constexpr std::uint8_t deleted_file = 0x20 | fat_attr_deleted;

// Adds a finding under key and links it to its parent's children, as the engine does.
fat_record_s& add(findings_t& f, std::uint32_t key, std::uint32_t parent, const char* name, std::uint8_t attr,
                  bool has_files = false, std::uint32_t size = 1)
{
    fat_record_s& r = f[key];
    r.start_cluster = key;
    r.parent_cluster = parent;
    r.name = QString::fromUtf8(name);
    r.attributes = attr;
    r.has_files = has_files ? 1 : 0;
    r.size = size;
    if (key != 0)
        f.at(parent).children.push_back(&r);
    return r;
}

QStringList names_below(const TreeModel& model, const QModelIndex& parent)
{
    QStringList out;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex at = model.index(row, 0, parent);
        out << at.data().toString();
        for (const QString& below : names_below(model, at))
            out << at.data().toString() + '/' + below;
    }
    return out;
}

} // namespace

class tree_test : public QObject {
    Q_OBJECT

private slots:
    void nothing_found_without_a_root_or_a_qualifying_folder();
    void hidden_folders_take_everything_below_them();
    void folders_keep_the_engine_order_and_loops_end();
    void listing_takes_files_with_a_start_cluster_only();
    void the_model_is_read_only_and_passes_the_tester();
    void a_real_volume_shows_its_deleted_folders();
};

void tree_test::nothing_found_without_a_root_or_a_qualifying_folder()
{
    findings_t f;
    QVERIFY(!build_fat_tree(f, {}, false));
    add(f, 0, 0, "", dir_attr, true);
    add(f, 4, 0, "EMPTY", dir_attr); // a folder without files is no reason to show the tree
    QVERIFY(!build_fat_tree(f, {}, false));
    // Deleted files straight in the root: "/" alone, and a click on it lists them.
    add(f, 5, 0, "#ILE.TXT", deleted_file);
    const auto root_only = build_fat_tree(f, {}, false);
    QVERIFY(root_only);
    QCOMPARE(names_below(*root_only, {}), QStringList{"/"});
    recovery_rows rows;
    list_fat_folder(f.at(0), rows, false);
    QCOMPARE(rows.size(), std::size_t{1});
    QCOMPARE(rows.front().name, QStringLiteral("#ILE.TXT"));

    // Other engine kinds have no rule yet, and a FAT kind with another engine finds nothing.
    fat_recovery_c engine;
    QVERIFY(!build_tree(scanner_fat, engine, false));
    QVERIFY(!build_tree(scanner_ntfs, engine, false));
}

void tree_test::hidden_folders_take_everything_below_them()
{
    findings_t f;
    add(f, 0, 0, "", dir_attr, true);
    add(f, 3, 0, "#ept", dir_attr, true);
    add(f, 4, 3, "inner", dir_attr, true);
    add(f, 5, 0, "empty", dir_attr, false); // no files below: hidden with its child
    add(f, 6, 5, "deep", dir_attr, true);
    add(f, 7, 0, "zero", dir_attr, true).start_cluster = 0; // start cluster 0 is never shown
    add(f, 8, 7, "below zero", dir_attr, true);
    add(f, 9, 0, "FILE.DIR", deleted_file, true); // not a folder
    const auto model = build_fat_tree(f, {}, false);
    QVERIFY(model);
    QCOMPARE(names_below(*model, {}), QStringList({"/", "//#ept", "//#ept/inner"}));
}

void tree_test::folders_keep_the_engine_order_and_loops_end()
{
    findings_t f;
    add(f, 0, 0, "", dir_attr, true);
    for (std::uint32_t key : {40u, 7u, 99u, 12u})
        add(f, key, 0, QByteArray::number(key).constData(), dir_attr, true);
    // A damaged volume: folder 50 is listed below its own child 51.
    add(f, 50, 12, "a", dir_attr, true);
    add(f, 51, 50, "b", dir_attr, true);
    f.at(51).children.push_back(&f.at(50));
    const auto model = build_fat_tree(f, {}, false);
    QVERIFY(model);
    QCOMPARE(names_below(*model, {}),
             QStringList({"/", "//40", "//7", "//99", "//12", "//12/a", "//12/a/b"}));
}

void tree_test::listing_takes_files_with_a_start_cluster_only()
{
    findings_t f;
    add(f, 0, 0, "", dir_attr, true);
    fat_record_s& folder = add(f, 3, 0, "#older", dir_attr, true);
    add(f, 20, 3, "sub", dir_attr, true);
    fat_record_s& file = add(f, 21, 3, "#ig.bin", deleted_file, false, 0xFFFFFFFFu);
    file.modified = 1700000000;
    file.created = -5;
    add(f, 22, 3, "#mpty.txt", deleted_file).start_cluster = 0;
    add(f, 23, 3, "#ast.txt", deleted_file, false, 7);
    const auto model = build_fat_tree(f, {}, false);
    QVERIFY(model);
    const TreeNode* node = TreeModel::node(model->index(0, 0, model->index(0, 0)));
    QVERIFY(node && node->record == folder_record{&folder});

    recovery_rows rows = {recovery_item_s{"stale", 1, 0, 0, 1, 0, true, 0, {}}};
    fat_recovery_c engine;
    list_folder(scanner_fat, engine, node, rows, false);
    QCOMPARE(rows.size(), std::size_t(2));
    QCOMPARE(rows[0].name, QString("#ig.bin"));
    QCOMPARE(rows[0].size, std::uint64_t(0xFFFFFFFFu));
    QCOMPARE(rows[0].modified, std::int64_t(1700000000));
    QCOMPARE(rows[0].created, std::int64_t(-5));
    QCOMPARE(rows[0].id, std::uint64_t(21));
    QCOMPARE(rows[0].attributes, std::uint32_t(deleted_file));
    QCOMPARE(rows[1].name, QString("#ast.txt"));
    QVERIFY(!rows[0].checked && !rows[1].checked);

    list_folder(scanner_fat, engine, &model->root(), rows, false); // the root has no record
    QVERIFY(rows.empty());
}

void tree_test::the_model_is_read_only_and_passes_the_tester()
{
    findings_t f;
    add(f, 0, 0, "", dir_attr, true);
    add(f, 3, 0, "a", dir_attr, true);
    add(f, 4, 3, "b", dir_attr, true);
    add(f, 5, 4, "c", dir_attr, true);
    add(f, 6, 0, "d", dir_attr, true);
    const auto model = build_fat_tree(f, {}, false);
    QVERIFY(model);
    QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QModelIndex top = model->index(0, 0);
    const QModelIndex b = model->index(0, 0, model->index(0, 0, top));
    QCOMPARE(b.data().toString(), QString("b"));
    QCOMPARE(model->parent(b).row(), 0);
    QCOMPARE(model->parent(model->index(1, 0, top)), top);
    QVERIFY(!model->parent(top).isValid());
    QCOMPARE(int(model->flags(b)), 33);
    QCOMPARE(int(model->flags({})), 0);
    QVERIFY(!model->index(0, 1, top).isValid());
    QVERIFY(!model->index(2, 0, top).isValid());
    QCOMPARE(model->rowCount(model->index(0, 0).siblingAtColumn(0)), 2);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QString("Title"));
    QVERIFY(!model->headerData(0, Qt::Vertical).isValid());
    QVERIFY(!model->data(b, Qt::DecorationRole).value<QIcon>().isNull());
    QVERIFY(!model->data(b, Qt::CheckStateRole).isValid());
}

void tree_test::a_real_volume_shows_its_deleted_folders()
{
    test::recovery_fixture fixture;
    QVERIFY(fixture.ok());
    QVERIFY(fixture.build_standard_volume());
    fat_recovery_c engine;
    QVERIFY(fixture.scan(engine));
    const auto model = build_tree(scanner_fat, engine, false);
    QVERIFY(model);
    QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QStringList names = names_below(*model, {});
    names.sort(); // the engine's child order is its own
    // "kept" holds only live files: no deleted file below it, so it is not shown.
    QCOMPARE(names, QStringList({"/", "//#lt", "//#lt/#ief", "//Fotos"}));

    const QModelIndex top = model->index(0, 0);
    const int photos_row = top.model()->index(0, 0, top).data().toString() == "Fotos" ? 0 : 1;
    const QModelIndex photos = model->index(photos_row, 0, top);
    recovery_rows rows;
    list_folder(scanner_fat, engine, TreeModel::node(photos), rows, false);
    QStringList files;
    for (const recovery_item_s& r : rows)
        files << r.name;
    files.sort();
    QCOMPARE(files, QStringList({"#aar.txt", "#aar.txt", "#ild.jpg"}));
}

QTEST_MAIN(tree_test)
#include "tree_test.moc"
