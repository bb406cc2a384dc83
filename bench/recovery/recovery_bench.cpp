// The file table with one folder of 100,000 deleted files: List folder (rows, new model,
// first paint), sort by size (a click on the heading, repaint) and check-all (a click on the
// box, new model, repaint), each timed on the user-interface thread. A FAT directory holds at
// most 65,536 entries, so the findings are made in memory in the engine's own form.

#include "recovery/fat_tree.h"
#include "recovery/tree_builder.h"
#include "scan/fat_volume.h"
#include "tests/recovery/file_table_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <unordered_map>

using namespace tarn;

namespace {

constexpr std::uint32_t file_count = 100000;

std::unordered_map<std::uint32_t, fat_record_s> make_findings()
{
    std::unordered_map<std::uint32_t, fat_record_s> findings;
    findings.reserve(file_count + 2);
    fat_record_s& root = findings[0];
    root.attributes = fat_attr_directory;
    root.has_files = 1;
    fat_record_s& folder = findings[2];
    folder.start_cluster = 2;
    folder.attributes = fat_attr_directory | fat_attr_deleted;
    folder.has_files = 1;
    folder.name = QStringLiteral("#ilder");
    root.children.push_back(&folder);
    QRandomGenerator rng(42);
    for (std::uint32_t i = 0; i < file_count; ++i) {
        const std::uint32_t cluster = 3 + i;
        fat_record_s& file = findings[cluster];
        file.start_cluster = cluster;
        file.parent_cluster = 2;
        file.size = rng.generate();
        file.modified = 1500000000 + rng.bounded(200000000);
        file.created = file.modified - rng.bounded(1000000);
        file.attributes = 0x20 | fat_attr_deleted;
        file.name = QStringLiteral("#MG_%1.JPG").arg(rng.bounded(1000000), 6, 10, QLatin1Char('0'));
        folder.children.push_back(&file);
    }
    return findings;
}

double milliseconds(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const auto findings = make_findings();
    test::file_table_s page;
    page.view.resize(800, 400);
    QTest::qWaitForWindowExposed(&page.view);
    const auto tree = build_fat_tree(findings, {}, false);
    const QModelIndex top = tree->index(0, 0);
    const TreeNode* folder = TreeModel::node(tree->index(0, 0, top));

    const int size_x = 33 + 235 + page.header->sectionSize(2) / 2;
    QElapsedTimer timer;

    timer.start();
    list_fat_folder(*folder->record.get<fat_record_s>(), page.rows, false);
    page.replace_model();
    page.header->set_check_all_state(false);
    page.view.viewport()->repaint();
    const double list_ms = milliseconds(timer);

    timer.restart();
    page.click_header(size_x);
    page.view.viewport()->repaint();
    const double sort_ms = milliseconds(timer);

    timer.restart();
    page.click_header(10);
    page.view.viewport()->repaint();
    const double check_ms = milliseconds(timer);

    const bool sorted = std::is_sorted(page.rows.begin(), page.rows.end(),
                                       [](const recovery_item_s& a, const recovery_item_s& b) { return a.size < b.size; });
    const bool all_checked = std::all_of(page.rows.begin(), page.rows.end(), [](const recovery_item_s& r) { return r.checked; });
    std::printf("file table, one folder of %u deleted files\n", file_count);
    std::printf("  List folder        %8.1f ms  (%zu rows)\n", list_ms, page.rows.size());
    std::printf("  sort by size       %8.1f ms  (%s)\n", sort_ms, sorted ? "ascending" : "NOT SORTED");
    std::printf("  check-all          %8.1f ms  (%s)\n", check_ms, all_checked ? "all checked" : "NOT ALL CHECKED");
    return sorted && all_checked && page.rows.size() == file_count ? 0 : 1;
}
