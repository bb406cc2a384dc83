// Deterministic sample content for the demo disk: painted "photos", diagrams, PDF reports and
// texts. The same seed gives the same pixels and the same words on every run, so the disk a
// user builds holds the same files as the one the tests check.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

namespace demo_files {

// A small pseudo-random generator of our own: std distributions differ between standard
// libraries, and the content must not.
class random_c {
public:
    explicit random_c(quint64 seed) : state_(seed) {}
    quint32 next();
    int range(int lo, int hi); // lo..hi inclusive

private:
    quint64 state_;
};

// A landscape-like picture: sky gradient, sun, hills and houses. Grain (0..64) adds film noise,
// which JPEG and PNG cannot compress away; it is how the large files get their size.
QImage paint_photo(int width, int height, quint64 seed, int grain);

// A bar chart with a title and axis labels, mostly flat colour: compresses well as PNG.
QImage paint_chart(int width, int height, quint64 seed, const QString& title);

// A multi-page PDF: a title, the paragraphs in flowing text and each figure on a page of its own.
bool write_pdf(const QString& path, const QString& title, const QStringList& paragraphs,
               const QList<QImage>& figures);

// Paragraphs of filler prose in the given language ("de", "zh" or "en").
QStringList make_paragraphs(const QString& language, int count, quint64 seed);

// Log lines with increasing time stamps until the text reaches at least min_bytes.
QByteArray make_log(qsizetype min_bytes, quint64 seed);

} // namespace demo_files
