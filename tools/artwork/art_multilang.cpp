// Images that carry words, one set per language: the three tab buttons of the title band
// and the two large home buttons.

#include "tools/artwork/art_icons.h"
#include "tools/artwork/art_pieces.h"

#include <QPainter>

namespace tarn::art {

namespace {

struct captions {
    const char* code;
    const char* script;
    const char* tabs[3];
    const char* start_title;
    const char* start_line;
    const char* resume_title;
    const char* resume_line;
};

// Tab 1 scans for deleted files by file system, tab 2 searches for lost partitions, tab 3
// carves the whole volume by file signatures.
const captions languages[] = {
    {"en", "latin", {"File Scan", "Partitions", "Deep Scan"},
     "New Scan", "Find deleted and lost files", "Open Saved Scan", "Continue from a saved result"},
    {"de", "latin", {"Dateisuche", "Partitionen", "Tiefensuche"},
     "Neue Suche", "Gelöschte Dateien finden", "Suche öffnen", "Gespeichertes Ergebnis laden"},
    {"es", "latin", {"Archivos", "Particiones", "Análisis profundo"},
     "Nuevo análisis", "Buscar archivos borrados", "Abrir análisis", "Continuar un resultado guardado"},
    {"fr", "latin", {"Fichiers", "Partitions", "Analyse approfondie"},
     "Nouvelle analyse", "Retrouver les fichiers supprimés", "Ouvrir une analyse", "Reprendre un résultat enregistré"},
    {"it", "latin", {"File", "Partizioni", "Scansione profonda"},
     "Nuova scansione", "Trova i file eliminati", "Apri scansione", "Riprendi un risultato salvato"},
    {"jp", "jp", {"ファイル検索", "パーティション", "ディープスキャン"},
     "新しいスキャン", "削除したファイルを探す", "保存したスキャン", "保存した結果から再開"},
    {"cn", "cn", {"文件扫描", "分区搜索", "深度扫描"},
     "开始扫描", "查找已删除的文件", "打开扫描结果", "从已保存的结果继续"},
    {"hk", "hk", {"檔案掃描", "分割區搜尋", "深度掃描"},
     "開始掃描", "尋找已刪除的檔案", "開啟掃描結果", "從已儲存的結果繼續"},
    {"pt", "latin", {"Arquivos", "Partições", "Verificação profunda"},
     "Nova verificação", "Encontrar arquivos excluídos", "Abrir verificação", "Continuar de um resultado salvo"},
    {"nl", "latin", {"Bestanden", "Partities", "Diepe scan"},
     "Nieuwe scan", "Verwijderde bestanden vinden", "Scan openen", "Verder met een opgeslagen resultaat"},
    {"ar", "ar", {"فحص الملفات", "الأقسام", "فحص عميق"},
     "فحص جديد", "البحث عن الملفات المحذوفة", "فتح فحص محفوظ", "المتابعة من نتيجة محفوظة"},
};

using icon_drawer = void (*)(QPainter&, const QRectF&, const QColor&, double);

void file_scan_icon(QPainter& p, const QRectF& b, const QColor& c, double stroke)
{
    draw_document(p, b.adjusted(b.width() * 0.08, 0, -b.width() * 0.3, -b.height() * 0.1), c, stroke);
    draw_magnifier(p, b.adjusted(b.width() * 0.4, b.height() * 0.4, 0, 0), c, stroke);
}

constexpr icon_drawer tab_icons[3] = {file_scan_icon, draw_partitions, draw_deep_scan};

QImage tab_button(int tab, state s, const QString& caption, const QString& script)
{
    QImage image = new_image(95, 70);
    QPainter p(&image);
    prepare(p);
    QColor ink = white;
    if (s != state::normal) {
        p.setPen(s == state::pressed ? Qt::NoPen : QPen(QColor(255, 255, 255, 90), 1));
        p.setBrush(s == state::hover ? QColor(255, 255, 255, 46) : QColor(255, 255, 255, 236));
        p.drawRoundedRect(QRectF(1.5, 1.5, 92, 67), 7, 7);
        if (s == state::pressed)
            ink = blue_dark;
    }
    tab_icons[tab](p, QRectF(31.5, 7, 32, 32), ink, 2.6);
    draw_fitted(p, QRectF(4, 42, 87, 25), caption, script, true, 13, 9, ink, Qt::AlignHCenter);
    return image;
}

} // namespace

int make_multilang(art_output& out)
{
    int result = 0;
    for (const auto& language : languages) {
        const QString folder = QStringLiteral("multilang/%1/").arg(QLatin1String(language.code));
        const QString script = QString::fromLatin1(language.script);
        for (int t = 0; t < 3; ++t) {
            for (const state s : all_states) {
                result |= out.save(folder + QStringLiteral("btn_top%1%2.png").arg(t + 1).arg(int(s)),
                                   tab_button(t, s, QString::fromUtf8(language.tabs[t]), script));
            }
        }
        for (const state s : all_states) {
            result |= out.save(folder + QStringLiteral("btn_start_scan%1.png").arg(int(s)),
                               home_button(330, 106, s, false, QString::fromUtf8(language.start_title),
                                           QString::fromUtf8(language.start_line), script));
            result |= out.save(folder + QStringLiteral("btn_resume_recovery%1.png").arg(int(s)),
                               home_button(323, 106, s, true, QString::fromUtf8(language.resume_title),
                                           QString::fromUtf8(language.resume_line), script));
        }
    }
    return result;
}

} // namespace tarn::art
