// Extraction: safe and distinct names, the live-file copy, the engine lock shared by the preview
// and the extraction thread, and whole folders recovered byte-exact from mtools volumes.

#include "common/safe_file_name.h"
#include "platform/shell_open.h"
#include "recovery/file_extraction.h"
#include "recovery/recovery_file.h"
#include "recovery/scanner_kind.h"
#include "recovery/tree_builder.h"
#include "recovery/tree_extraction.h"
#include "scan/recovery_base.h"
#include "tests/fat/fat_builder.h"
#include "tests/recovery/recovery_fixture.h"
#include "tests/support/test_support.h"

#include <QDirIterator>
#include <QFile>
#include <QSemaphore>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include <unistd.h>

using namespace tarn;

namespace {

QByteArray read_all(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool write_file(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// Every file below root, relative to it, sorted.
QStringList files_below(const QString& root)
{
    QStringList out;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
}

// An engine whose extraction the test holds at a gate: it shows what runs at the same time.
// Ids of 1000 and more fail; get_file_path names a file in a folder of the test's.
class gate_engine_c final : public recovery_base_c {
public:
    void set_volume(const volume_item_s&) override {}
    double get_progress() override { return 1.0; }
    void set_progress(double) override {}
    void set_stop(std::int32_t) override {}
    std::int32_t get_pause() override { return 0; }
    void set_pause(std::int32_t) override {}
    std::int64_t get_read_count() override { return 0; }
    void reset() override {}
    std::int32_t recover_file(std::uint64_t id, QString destination) override
    {
        if (++inside_ > 1)
            overlapped_ = true;
        entered_.release();
        if (gated_)
            gate_.acquire();
        const bool ok = id < 1000 && write_file(destination, "file " + QByteArray::number(qulonglong(id)));
        --inside_;
        return ok ? 0 : -1;
    }
    std::int32_t get_file_path(std::uint64_t id, QString& path) override
    {
        if (id >= 1000)
            return -1;
        path = live_folder + "/live" + QString::number(id);
        return 0;
    }

    QString live_folder;
    std::atomic<bool> gated_{false};
    std::atomic<int> inside_{0};
    std::atomic<bool> overlapped_{false};
    QSemaphore gate_;
    QSemaphore entered_;

protected:
    void run() override {}
};

// Lists node's folder, checks every file and extracts them all into target, as the page's
// check-all and recover button do. The number of files that failed, -1 when the thread did
// not run to its end.
int recover_folder(fat_recovery_c& engine, const TreeNode* node, const QString& target, std::size_t* listed)
{
    recovery_rows rows;
    list_folder(scanner_fat, engine, node, rows, false);
    *listed = rows.size();
    for (recovery_item_s& r : rows)
        r.checked = true;
    recovery_file_c thread;
    if (!QDir().mkpath(target) || thread.start_extraction(&engine, scanner_fat, target, rows) != 0 || !thread.wait(60000))
        return -1;
    return thread.failed_count();
}

recovery_item_s row(const char* name, std::uint64_t id, bool checked = true, std::uint32_t attributes = 0)
{
    recovery_item_s r;
    r.name = QString::fromUtf8(name);
    r.id = id;
    r.checked = checked;
    r.attributes = attributes;
    return r;
}

} // namespace

class extraction_test : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void safe_names_never_leave_the_folder();
    void equal_names_are_told_apart();
    void live_files_are_copied_whole();
    void extract_one_goes_to_the_engine_of_its_kind();
    void preview_and_extraction_take_turns_on_one_engine();
    void the_thread_works_on_its_own_copy_and_ignores_a_second_start();
    void files_already_in_the_target_are_never_replaced();
    void a_folder_of_a_real_volume_is_recovered_byte_exact();
    void a_crafted_name_lands_inside_the_target();
    void a_racing_attacker_never_gets_a_write_outside();
    void two_recoveries_into_one_folder_write_every_file();
    void a_failed_file_leaves_nothing_and_files_belong_to_the_folders_owner();
    void folders_nested_without_end_cost_no_more_than_their_names();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::vector<QUrl> opened_;
};

void extraction_test::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    opened_.clear();
    set_shell_opener([this](const QUrl& url) {
        opened_.push_back(url);
        return 0;
    });
}

void extraction_test::cleanup()
{
    QCoreApplication::processEvents(); // a finished thread's request to open its folder
    set_shell_opener({});
    dir_.reset();
}

void extraction_test::safe_names_never_leave_the_folder()
{
    QCOMPARE(safe_file_name("#ild.jpg"), QString("#ild.jpg"));
    QCOMPARE(safe_file_name("../../evil"), QString(".._.._evil"));
    QCOMPARE(safe_file_name("a\\b/c"), QString("a_b_c"));
    QCOMPARE(safe_file_name(QString("a") + QChar(1) + "b" + QChar(0x7F) + QChar(0)), QString("a_b__"));
    QCOMPARE(safe_file_name("."), QString("_."));
    QCOMPARE(safe_file_name(".."), QString("_.."));
    QCOMPARE(safe_file_name(""), QString("_"));
    QCOMPARE(safe_file_name("..."), QString("...")); // an ordinary name on Linux

    const QString long_ascii = QString(300, 'x') + ".txt";
    const QString cut = safe_file_name(long_ascii);
    QCOMPARE(cut.toUtf8().size(), safe_file_name_max_bytes);
    QVERIFY(cut.endsWith("x.txt"));
    QString wide; // characters of three and of four UTF-8 bytes
    for (int i = 0; i < 120; ++i)
        wide += QString::fromUtf8("中😀");
    const QString wide_cut = safe_file_name(wide + ".jpeg");
    QVERIFY(wide_cut.toUtf8().size() <= safe_file_name_max_bytes);
    QVERIFY(wide_cut.toUtf8().size() > safe_file_name_max_bytes - 4);
    QVERIFY(wide_cut.endsWith(".jpeg"));
    QCOMPARE(QString::fromUtf8(wide_cut.toUtf8()), wide_cut); // no half surrogate pair
    // Every safe name is a single component that opens inside the folder.
    for (const QString& name : {long_ascii, wide, QString("../x"), QString(".."), QString("a/../../b")}) {
        const QString path = QDir(dir_->path()).filePath(safe_file_name(name));
        QCOMPARE(QFileInfo(path).absolutePath(), dir_->path());
        QVERIFY(write_file(path, "x"));
    }
}

void extraction_test::equal_names_are_told_apart()
{
    QSet<QString> used;
    const QStringList given = {"#aar.txt", "#aar.txt", "#AAR.TXT", "#aar (2).txt", "README", "README", ".bashrc",
                               ".bashrc"};
    QStringList got;
    for (const QString& name : given)
        got << unique_file_name(name, used);
    QCOMPARE(got, QStringList({"#aar.txt", "#aar (2).txt", "#AAR (3).TXT", "#aar (2) (2).txt", "README",
                               "README (2)", ".bashrc", ".bashrc (2)"}));
}

void extraction_test::live_files_are_copied_whole()
{
    const QString src = dir_->filePath("src"), dst = dir_->filePath("dst");
    QByteArray big(300000, '\0'); // more than two copy steps
    for (int i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);
    QVERIFY(write_file(src, big));
    QVERIFY(write_file(dst, QByteArray(400000, 'o'))); // replaced, not overwritten in place
    QCOMPARE(copy_live_file(src, dst), 0);
    QCOMPARE(read_all(dst), big);

    QVERIFY(write_file(src, {}));
    QCOMPARE(copy_live_file(src, dst), 0);
    QCOMPARE(QFileInfo(dst).size(), 0);

    QCOMPARE(copy_live_file(dir_->filePath("missing"), dir_->filePath("never")), int(recovery_not_found));
    QVERIFY(!QFile::exists(dir_->filePath("never")));
    QCOMPARE(copy_live_file(src, dir_->filePath("no/such/folder/x")), int(recovery_unwritable));
    QCOMPARE(copy_live_file(dir_->path(), dst), int(recovery_not_found)); // a folder is no file to copy
}

void extraction_test::extract_one_goes_to_the_engine_of_its_kind()
{
    gate_engine_c engine;
    engine.live_folder = dir_->path();
    QVERIFY(write_file(dir_->filePath("live5"), "live contents"));
    const QString out = dir_->filePath("out");
    QVERIFY(QDir().mkpath(out));

    QCOMPARE(extract_one(engine, scanner_fat, out, row("../a.txt", 1)), 0);
    QCOMPARE(read_all(out + "/.._a.txt"), QByteArray("file 1"));
    QCOMPARE(extraction_path(out, row("../a.txt", 1)), out + "/.._a.txt");
    QCOMPARE(extract_one(engine, scanner_raw, out, row("00000002.jpg", 2)), 0);
    QCOMPARE(read_all(out + "/00000002.jpg"), QByteArray("file 2"));
    // NTFS: a deleted file is rebuilt by the engine, a live one copied from its path.
    QCOMPARE(extract_one(engine, scanner_ntfs, out, row("gone.txt", 3, true, 0x80)), 0);
    QCOMPARE(read_all(out + "/gone.txt"), QByteArray("file 3"));
    QCOMPARE(extract_one(engine, scanner_ntfs, out, row("here.txt", 5)), 0);
    QCOMPARE(read_all(out + "/here.txt"), QByteArray("live contents"));
    QCOMPARE(extract_one(engine, scanner_ntfs, out, row("nopath.txt", 1000)), -1);
    // A link waiting under the file's name is replaced, not written through.
    QVERIFY(QFile::link(dir_->filePath("outside.txt"), out + "/link.txt"));
    QCOMPARE(extract_one(engine, scanner_fat, out, row("link.txt", 6)), 0);
    QVERIFY(!QFile::exists(dir_->filePath("outside.txt")));
    QCOMPARE(read_all(out + "/link.txt"), QByteArray("file 6"));
    QCOMPARE(extract_one(engine, 7, out, row("unknown.txt", 4)), -1);
    QVERIFY(!QFile::exists(out + "/unknown.txt"));
    QVERIFY(!QFile::exists(out + "/nopath.txt"));
}

void extraction_test::preview_and_extraction_take_turns_on_one_engine()
{
    gate_engine_c engine;
    engine.gated_ = true;
    const QString out = dir_->path();
    recovery_file_c thread;
    QCOMPARE(thread.start_extraction(&engine, scanner_fat, out, {row("a", 1), row("b", 2)}), 0);
    QVERIFY(engine.entered_.tryAcquire(1, 10000)); // the thread is inside the engine
    // The preview does not wait for a busy engine (the page's thread must not block) ...
    QCOMPARE(extract_one(engine, scanner_fat, out, row("p", 9), engine_wait_e::skip_if_busy), int(recovery_busy));
    // ... and one that waits gets its turn after the thread's file.
    std::atomic<int> waited{1};
    std::thread preview([&] { waited = extract_one(engine, scanner_fat, out, row("p", 9)); });
    engine.gate_.release(3);
    preview.join();
    QVERIFY(thread.wait(10000));
    QCOMPARE(waited.load(), 0);
    QVERIFY(!engine.overlapped_);
    QCOMPARE(files_below(out), QStringList({"a", "b", "p"}));
}

void extraction_test::the_thread_works_on_its_own_copy_and_ignores_a_second_start()
{
    gate_engine_c engine;
    engine.gated_ = true;
    const QString out = dir_->filePath("out");
    QVERIFY(QDir().mkpath(out));
    recovery_rows rows = {row("one", 1), row("skip", 2, false), row("two", 3), row("bad", 1000), row("one", 4)};
    recovery_file_c thread;
    QCOMPARE(thread.start_extraction(&engine, scanner_fat, out, rows), 0);
    QVERIFY(engine.entered_.tryAcquire(1, 10000));
    // The page lists another folder and checks everything while the thread runs.
    rows = {row("other", 50), row("other2", 51)};
    QCOMPARE(thread.start_extraction(&engine, scanner_fat, dir_->path(), rows), -1);
    engine.gate_.release(10);
    QVERIFY(thread.wait(10000));
    QCOMPARE(files_below(out), QStringList({"one", "one (2)", "two"}));
    QCOMPARE(read_all(out + "/one (2)"), QByteArray("file 4"));
    QCOMPARE(thread.failed_count(), 1);
    QTRY_COMPARE(opened_.size(), std::size_t(1)); // opened even though a file failed
    QCOMPARE(opened_[0].toLocalFile(), out);

    // Every file failing still opens the folder; nothing checked opens it too.
    QCOMPARE(thread.start_extraction(&engine, scanner_fat, out, {row("bad", 1001)}), 0);
    QVERIFY(thread.wait(10000));
    QCOMPARE(thread.failed_count(), 1);
    QTRY_COMPARE(opened_.size(), std::size_t(2));

    // A thread still at work when its owner goes is joined before the object dies.
    gate_engine_c slow;
    slow.gated_ = true;
    auto busy = std::make_unique<recovery_file_c>();
    QCOMPARE(busy->start_extraction(&slow, scanner_fat, out, {row("x1", 60), row("x2", 61)}), 0);
    QVERIFY(slow.entered_.tryAcquire(1, 10000));
    std::thread owner([&] { busy.reset(); });
    slow.gate_.release(2);
    owner.join();
    QVERIFY(QFile::exists(out + "/x1"));
}

void extraction_test::files_already_in_the_target_are_never_replaced()
{
    gate_engine_c engine;
    const QString out = dir_->filePath("again");
    QVERIFY(QDir().mkpath(out));
    QVERIFY(write_file(out + "/ONE", "recovered last time"));
    QVERIFY(write_file(out + "/two (2)", "a file of the user's"));
    recovery_file_c thread;
    QCOMPARE(thread.start_extraction(&engine, scanner_fat, out, {row("one", 1), row("two", 2), row("two", 3)}), 0);
    QVERIFY(thread.wait(10000));
    QCOMPARE(files_below(out), QStringList({"ONE", "one (2)", "two", "two (2)", "two (3)"}));
    QCOMPARE(read_all(out + "/ONE"), QByteArray("recovered last time"));
    QCOMPARE(read_all(out + "/two (2)"), QByteArray("a file of the user's"));
    QCOMPARE(read_all(out + "/two (3)"), QByteArray("file 3"));
}

void extraction_test::a_folder_of_a_real_volume_is_recovered_byte_exact()
{
    test::recovery_fixture fixture;
    QVERIFY(fixture.build_standard_volume());
    fat_recovery_c engine;
    QVERIFY(fixture.scan(engine));
    const auto model = build_tree(scanner_fat, engine, false);
    QVERIFY(model);
    const QModelIndex top = model->index(0, 0);
    const TreeNode* photos = nullptr;
    for (int r = 0; r < model->rowCount(top); ++r)
        if (model->index(r, 0, top).data().toString() == "Fotos")
            photos = TreeModel::node(model->index(r, 0, top));
    QVERIFY(photos);
    const QString out = dir_->filePath("target");
    std::size_t listed = 0;
    QCOMPARE(recover_folder(engine, photos, out, &listed), 0);
    QCOMPARE(listed, std::size_t(3));
    // Only the folder shown: nothing of "Alt/Tief". Shown as "#aar.txt" twice, written under
    // the long names the volume kept.
    QCOMPARE(files_below(out), QStringList({"Baar.txt", "Bild.jpg", "Caar.txt"}));
    for (const QString& name : files_below(out))
        QCOMPARE(read_all(out + "/" + name), fixture.originals()[name]);

    // The command line recovers the same folder under the same names, byte for byte.
    const QString cli_out = dir_->filePath("cli");
    QString output;
    QCOMPARE(test::run_tool(qEnvironmentVariable("TARN_CLI"), {"scan", "1", "--recover", cli_out}, &output), 0);
    QCOMPARE(files_below(cli_out + "/Fotos"), files_below(out));
    for (const QString& name : files_below(out))
        QVERIFY2(read_all(cli_out + "/Fotos/" + name) == read_all(out + "/" + name), qPrintable(name));
}

void extraction_test::a_crafted_name_lands_inside_the_target()
{
    test::fat_builder_c image(5000, 1);
    image.put_entry(0, 0, {"DIR        ", 0x10, 5});
    image.set_fat(5, 0xFFFF);
    auto part = test::long_name_entry(u"../../evil", 0x41, test::short_name_checksum("EVIL~1     "));
    part[0] = std::byte{0xE5};
    image.put_raw(5, 0, part.data());
    image.put_entry(5, 1, {"\xE5" "VIL~1     ", 0x20, 10, 4});
    image.put_entry(5, 2, {"\xE5" "/\x01" "B    TXT", 0x20, 11, 4});
    image.put_entry(5, 3, {"\xE5" ".         ", 0x20, 12, 4});
    image.fill_cluster(10, std::byte{'E'});
    const QString disk = dir_->filePath("hostile.img");
    QVERIFY(image.save(disk) == 0);
    test::recovery_fixture fixture;
    QVERIFY(fixture.use_image(disk));
    fat_recovery_c engine;
    QVERIFY(fixture.scan(engine));
    const auto model = build_tree(scanner_fat, engine, false);
    QVERIFY(model);
    const QString target = dir_->filePath("inside/out");
    std::size_t listed = 0;
    QCOMPARE(recover_folder(engine, TreeModel::node(model->index(0, 0, model->index(0, 0))), target, &listed), 0);
    QCOMPARE(listed, std::size_t(3));
    QStringList everywhere = files_below(dir_->path());
    everywhere.removeAll("hostile.img");
    QCOMPARE(everywhere, QStringList({"inside/out/#.", "inside/out/#__B.TXT", "inside/out/.._.._evil"}));
    QCOMPARE(read_all(target + "/.._.._evil"), QByteArray("EEEE"));
}

// Someone who may write into the target plants links under the names about to be written, as
// fast as they can: every file is still written inside the target, none through a link.
void extraction_test::a_racing_attacker_never_gets_a_write_outside()
{
    gate_engine_c engine;
    const QString target = dir_->filePath("target"), outside = dir_->filePath("outside");
    QVERIFY(QDir().mkpath(target) && QDir().mkpath(outside));
    constexpr int files = 999; // the engine fails ids from 1000 on
    recovery_rows rows;
    for (int i = 0; i < files; ++i)
        rows.push_back(row(qPrintable(QString("f%1.txt").arg(i)), static_cast<std::uint64_t>(i)));
    std::atomic<bool> done{false};
    std::atomic<int> planted{0};
    std::thread attacker([&] {
        for (int tries = 0; tries < 200000 && !done; ++tries) {
            const int i = tries % files;
            if (QFile::link(outside + QString("/stolen%1").arg(i), target + QString("/f%1.txt").arg(i)))
                ++planted;
        }
    });
    const int failed = extract_rows(engine, scanner_fat, target, rows);
    done = true;
    attacker.join();
    QCOMPARE(failed, 0);
    QVERIFY2(QDir(outside).isEmpty(), qPrintable(QDir(outside).entryList(QDir::Files).join(' ')));
    QSet<QByteArray> contents;
    QDirIterator it(target, QDir::Files | QDir::NoSymLinks);
    while (it.hasNext())
        contents.insert(read_all(it.next()));
    QCOMPARE(contents.size(), files);
    qInfo("links planted: %d", planted.load());
}

// Two recoveries of the same names into one folder at the same time: each file of both is
// written whole under a name of its own.
void extraction_test::two_recoveries_into_one_folder_write_every_file()
{
    gate_engine_c first, second;
    constexpr int files = 200;
    recovery_rows rows;
    for (int i = 0; i < files; ++i)
        rows.push_back(row(qPrintable(QString("same%1.txt").arg(i % 7)), static_cast<std::uint64_t>(i)));
    recovery_file_c one, two;
    QCOMPARE(one.start_extraction(&first, scanner_fat, dir_->path(), rows), 0);
    QCOMPARE(two.start_extraction(&second, scanner_fat, dir_->path(), rows), 0);
    QVERIFY(one.wait(60000) && two.wait(60000));
    QCOMPARE(one.failed_count() + two.failed_count(), 0);
    std::map<QByteArray, int> contents;
    for (const QString& name : files_below(dir_->path()))
        ++contents[read_all(dir_->filePath(name))];
    QCOMPARE(static_cast<int>(contents.size()), files);
    QVERIFY(std::all_of(contents.begin(), contents.end(), [](const auto& c) { return c.second == 2; }));
}

// A file the engine could not write is not left behind empty (it would pass for a recovered
// one); a file written whole gets the entry's time. Run as root, what is made belongs to the
// owner of the target folder, not to root.
void extraction_test::a_failed_file_leaves_nothing_and_files_belong_to_the_folders_owner()
{
    gate_engine_c engine;
    const QString target = dir_->filePath("user");
    QVERIFY(QDir().mkpath(target));
    const bool root = ::geteuid() == 0;
    if (root)
        QCOMPARE(::chown(QFile::encodeName(target).constData(), 4321, 4321), 0);
    recovery_item_s good = row("good.txt", 1);
    good.modified = 1700000000;
    std::vector<branch_folder_s> branch(2);
    branch[0].rows = {good, row("bad.txt", 1000)};
    branch[1].parent = 0;
    branch[1].name = "sub";
    branch[1].rows = {row("inner.txt", 2)};
    QCOMPARE(extract_branch(engine, scanner_fat, branch, target), 1);
    QCOMPARE(files_below(target), QStringList({"good.txt", "sub/inner.txt"}));
    QCOMPARE(QFileInfo(target + "/good.txt").lastModified().toSecsSinceEpoch(), 1700000000);
    if (root)
        for (const QString& made : {target + "/good.txt", target + "/sub", target + "/sub/inner.txt"})
            QCOMPARE(QFileInfo(made).ownerId(), 4321u);
}

// A damaged volume can nest folders a hundred thousand deep (parent references in a chain):
// writing the branch out keeps no path per folder (that cost the depth times the folder count,
// some 20 GB here), writes what lies within the depth a path can have and fails the rest.
void extraction_test::folders_nested_without_end_cost_no_more_than_their_names()
{
    gate_engine_c engine;
    const QString target = dir_->filePath("deep");
    constexpr int depth = 100000;
    std::vector<branch_folder_s> branch(depth);
    for (int i = 1; i < depth; ++i) {
        branch[static_cast<std::size_t>(i)].parent = i - 1;
        branch[static_cast<std::size_t>(i)].name = QString(100, QChar('a' + i % 26));
    }
    branch[3].rows = {row("near.txt", 3)};
    branch.back().rows = {row("deep.txt", 4)};
    QCOMPARE(extract_branch(engine, scanner_fat, branch, target), 1);
    QCOMPARE(files_below(target).size(), 1);
    QVERIFY(files_below(target).front().endsWith("/near.txt"));
}

QTEST_MAIN(extraction_test)
#include "extraction_test.moc"
