#include "tools/generate.h"

#include "db/database.h"
#include "db/folders.h"
#include "db/text_index.h"
#include "imaging/tiff_io.h"
#include "tools/sample_drawing.h"
#include "tools/working_folder.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <vector>

namespace zumen::WorkingFolder {
namespace {

// Product names: an optional qualifier, a part and an optional variant. Katakana parts come
// in both widths: files typed on old terminals hold the half-width ones.
const char *const qualifiers[] = {"溶接", "補助", "補強", "固定", "上部",
                                  "下部", "側面", "中間", "調整", "支持"};
const struct {
    const char *full;
    const char *half; // null when the part has no katakana
} parts[] = {
    {"ブラケット", "ﾌﾞﾗｹｯﾄ"},  {"取付板", nullptr}, {"フランジ", "ﾌﾗﾝｼﾞ"}, {"プレート", "ﾌﾟﾚｰﾄ"},
    {"軸受", nullptr},         {"カバー", "ｶﾊﾞｰ"},  {"シャフト", "ｼｬﾌﾄ"},  {"ベース", "ﾍﾞｰｽ"},
    {"ハウジング", "ﾊｳｼﾞﾝｸﾞ"}, {"架台", nullptr},   {"継手", nullptr},     {"ガイド", "ｶﾞｲﾄﾞ"},
    {"スペーサ", "ｽﾍﾟｰｻ"},     {"蓋", nullptr},     {"歯車", nullptr},     {"ストッパー", "ｽﾄｯﾊﾟｰ"},
};
const char *const variants[] = {"", "", "", "", " A", " B", "組立", "(左)", "(右)"};

// Remarks are a few of these; the welding one (the only one with 溶接部) is in 60 % of them.
const char *const remarks[] = {
    "材質は SS400 とし、黒皮のまま使用する。",
    "指示なき面取りは C0.5 とする。",
    "表面処理は溶融亜鉛めっきとする。",
    "塗装色は客先指定による。下塗り一回、上塗り二回。",
    "寸法は組立後に現物合わせで確認すること。",
    "穴位置は相手部品と合わせて加工する。",
    "バリ、かえりのないこと。",
    "前回改訂で板厚を 6 から 9 に変更した。",
    "ボルトは M12 強度区分 8.8 を使用する。",
    "検査成績書を添付して納入すること。",
    "熱処理後に歪み取りを行う。",
    "外注加工品。納期は受注後三週間。",
};
const char *const weldRemark = "溶接部は全周すみ肉溶接とし、ビード外観を検査する。";
constexpr int RemarkBytes = 420;

// Sheet sizes by how often a drawing office files them, in percent.
const struct {
    const char *name;
    int percent;
} sheetSizes[] = {{"A0", 5}, {"A1", 40}, {"A2", 20}, {"A3", 25}, {"A4", 10}};

// The shared page files: small sheets at 200 dpi for most records, an A1 at 400 dpi on every
// thousandth record (a real sheet's decoding cost, rare enough not to drown the rest).
struct Sheet {
    const char *file;
    QSize size;
};
const Sheet smallSheets[] = {{"SHEET01.TIF", {2339, 1654}},
                             {"SHEET02.TIF", {2339, 1654}},
                             {"SHEET03.TIF", {3307, 2339}},
                             {"SHEET04.TIF", {1654, 2339}},
                             {"SHEET05.TIF", {3307, 2339}}};
const Sheet a1Sheet{"SHEETA1.TIF", {13244, 9354}};
constexpr int A1Every = 1000;

const char *sheetSize(QRandomGenerator &rng)
{
    int roll = static_cast<int>(rng.bounded(100));
    for (const auto &s : sheetSizes) {
        if (roll < s.percent)
            return s.name;
        roll -= s.percent;
    }
    return "A1";
}

QString productName(QRandomGenerator &rng)
{
    QString name;
    if (rng.bounded(2))
        name = QString::fromUtf8(qualifiers[rng.bounded(static_cast<quint32>(std::size(qualifiers)))]);
    const auto &part = parts[rng.bounded(static_cast<quint32>(std::size(parts)))];
    const bool half = part.half && rng.bounded(20) == 0;
    name += QString::fromUtf8(half ? part.half : part.full);
    return name + QString::fromUtf8(variants[rng.bounded(static_cast<quint32>(std::size(variants)))]);
}

QString remark(QRandomGenerator &rng, bool weld)
{
    QByteArray text;
    const int weldAt = weld ? static_cast<int>(rng.bounded(4)) : -1;
    for (int i = 0; text.size() < RemarkBytes; ++i)
        text += i == weldAt ? weldRemark : remarks[rng.bounded(static_cast<quint32>(std::size(remarks)))];
    return QString::fromUtf8(text);
}

void writeSheet(const QDir &scan, const Sheet &sheet, int seed)
{
    const QString name = QString::fromLatin1(sheet.file);
    QImage page = sampleDrawing(name.section(u'.', 0, 0), QStringLiteral("見本"), seed, sheet.size);
    const bool a1 = sheet.size.width() > 10000;
    if (a1) {
        // A scanned sheet is never clean: specks (one pixel in 500) make the file and its
        // decoding cost what a real A1 scan's are, not those of a drawing made by program.
        QRandomGenerator specks(static_cast<quint32>(seed));
        for (qint64 n = qint64{page.width()} * page.height() / 500; n > 0; --n)
            page.scanLine(specks.bounded(page.height()))[specks.bounded(page.width())] = 0;
    }
    writeBilevelTiff(page, scan.filePath(name), a1 ? 400 : 200);
}

} // namespace

void generate(const QString &folder, int records, quint32 seed)
{
    init(folder);
    const QDir dir(QDir(folder).absolutePath());
    const QString dbPath = dir.filePath(DatabaseFile);
    try {
        const QDir scan(dir.filePath(ScanFolder));
        const int smallCount = std::min<int>(static_cast<int>(std::size(smallSheets)), records);
        for (int i = 0; i < smallCount; ++i)
            writeSheet(scan, smallSheets[i], i);
        if (records >= A1Every)
            writeSheet(scan, a1Sheet, 0);

        Database db = Database::open(dbPath);
        // The indexes on the names take their rows in random order: a large cache keeps them in memory.
        db.executeNative(QStringLiteral("PRAGMA cache_size = -262144"));
        Transaction t(db);
        Statement record = db.prepare(QStringLiteral("INSERT INTO DT (ID, Namae, Str1, Str2, Date1, Val1, "
                                                     "Text1) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)"));
        Statement page = db.prepare(
            QStringLiteral("INSERT INTO PG (ID, Page, Dir, FileName) VALUES (?1, ?2, '_SCAN', ?3)"));
        QRandomGenerator rng(seed);
        // Serial numbers: a permutation of 0..999999 (7919 is prime to 10^6), so drawing
        // numbers stay unique up to a million records.
        const quint32 serialOffset = rng.bounded(1000000u);
        const QDate first(2005, 1, 1);
        const int days = static_cast<int>(first.daysTo(QDate(2024, 12, 31))) + 1;
        for (int id = 1; id <= records; ++id) {
            const QDate made = first.addDays(rng.bounded(days));
            const quint64 serial = (static_cast<quint64>(id) * 7919u + serialOffset) % 1000000u;
            const QString number = QStringLiteral("%1-%2-%3")
                                       .arg(QLatin1String(sheetSize(rng)))
                                       .arg(made.year())
                                       .arg(serial, 6, 10, QLatin1Char('0'));
            const QString name = productName(rng);
            const double value = rng.bounded(10001);
            // A quarter of the records have remarks; 60 % of those (15 % of all) mention 溶接部.
            const quint32 memo = rng.bounded(20u);
            record.bindAll({id, name, number, name, made, value,
                            memo < 5 ? remark(rng, memo < 3) : QStringLiteral(" ")});
            record.run();
            const Sheet &sheet = id % A1Every == 0 ? a1Sheet : smallSheets[rng.bounded(smallCount)];
            page.bindAll({id, 1, QString::fromLatin1(sheet.file)});
            page.run();
            if (id % 10 == 0) {
                page.bindAll({id, 2, QString::fromLatin1(smallSheets[id / 10 % smallCount].file)});
                page.run();
            }
        }
        // The text index folds the whole batch once, in the transaction that wrote the rows.
        TextIndex::catchUp(db);
        t.commit();
        db.close();
    } catch (...) {
        QFile::remove(dbPath);
        throw;
    }
}

} // namespace zumen::WorkingFolder
