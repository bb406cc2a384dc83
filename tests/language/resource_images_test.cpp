// The compiled-in images: every path the program uses loads, at the size the window and the
// pages are laid out for.

#include "resources/resource_images.h"
#include "settings/language.h"

#include <QDirIterator>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QSet>

#include <gtest/gtest.h>

namespace tarn::test {
namespace {

QImage load(const QString& path)
{
    return QImage(path);
}

TEST(resource_images, every_fixed_path_loads)
{
    for (const auto& path : resource_images) {
        const QString name = QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
        EXPECT_FALSE(load(name).isNull()) << path;
    }
}

// Every section of the shipped language file: its own code (none falls back to another
// language's images) and all fifteen of its images at the sizes the window lays them out for.
TEST(resource_images, every_language_section_has_its_images)
{
    ASSERT_EQ(load_language_file(TARN_SHIPPED_LANGUAGE_FILE, "English", false), 0);
    const QStringList sections = language_names;
    ASSERT_EQ(sections.size(), 11);
    QSet<QString> codes;
    for (qsizetype i = 0; i < sections.size(); ++i) {
        language_index = static_cast<int>(i);
        const std::string section = sections[i].toStdString();
        codes.insert(language_code());
        for (const QString s : {"1", "2", "3"}) {
            for (const QString t : {"1", "2", "3"})
                EXPECT_EQ(load(multilang_tab_image(t, s)).size(), QSize(95, 70)) << section << " tab " << t.toStdString();
            // The home paths come without ":" because the style sheet adds it.
            EXPECT_EQ(load(":" + multilang_start_image(s)).size(), QSize(330, 106)) << section;
            EXPECT_EQ(load(":" + multilang_resume_image(s)).size(), QSize(323, 106)) << section;
        }
    }
    EXPECT_EQ(codes.size(), sections.size());
    language_names.clear();
    language_index = 0;
}

TEST(resource_images, sizes_the_layout_relies_on)
{
    EXPECT_EQ(load(":/images/system/so.png").size(), QSize(800, 100));
    EXPECT_EQ(load(":/images/system/sl.png").size(), QSize(3, 539));
    EXPECT_EQ(load(":/images/system/sr.png").size(), QSize(3, 539));
    EXPECT_EQ(load(":/images/system/su.png").size(), QSize(10, 4));
    EXPECT_EQ(load(":/images/system/quiButton1.png").size(), QSize(30, 21));
    EXPECT_EQ(load(":/images/home/wenzi.png").size(), QSize(692, 188));
    EXPECT_EQ(load(":/images/partition_search/btn_wai_1.png").size(), QSize(100, 30));
    // The frame's outermost pixels are see-through, so the window has a soft edge.
    const QImage top = load(":/images/system/so.png");
    EXPECT_LT(qAlpha(top.pixel(0, 50)), 64);
    EXPECT_LT(qAlpha(top.pixel(400, 0)), 64);
    EXPECT_EQ(qAlpha(top.pixel(400, 50)), 255);
    QImageReader animation(":/images/recovery/ani.gif");
    EXPECT_TRUE(animation.supportsAnimation());
    EXPECT_GT(animation.imageCount(), 1);
    EXPECT_EQ(animation.size(), QSize(130, 86));
}

TEST(resource_images, nothing_compiled_in_is_unused_or_broken)
{
    QSet<QString> used;
    for (const auto& path : resource_images)
        used.insert(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())));
    int per_language = 0;
    QDirIterator it(":/images", QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        EXPECT_FALSE(load(path).isNull()) << path.toStdString();
        if (path.startsWith(":/images/multilang/"))
            ++per_language;
        else
            EXPECT_TRUE(used.contains(path)) << "not in the program's list: " << path.toStdString();
    }
    EXPECT_EQ(per_language, 11 * 15);
}

} // namespace
} // namespace tarn::test

int main(int argc, char** argv)
{
    // Reading the icon and the animation needs the image plugins, which need the application.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
