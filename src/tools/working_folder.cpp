#include "tools/working_folder.h"

#include "db/database.h"
#include "db/db_error.h"
#include "db/schema.h"
#include "imaging/tiff_io.h"
#include "text/utility.h"
#include "tools/sample_drawing.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace zumen::WorkingFolder {
namespace {

[[noreturn]] void failWith(const QString &message)
{
    throw std::runtime_error(message.toStdString());
}

QDir existingFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        failWith(QStringLiteral("フォルダ '%1' がありません。").arg(folder));
    if (!info.isDir())
        failWith(QStringLiteral("'%1' はフォルダではありません。").arg(folder));
    if (!info.isWritable())
        failWith(QStringLiteral("フォルダ '%1' に書き込む権限がありません。").arg(folder));
    return QDir(info.absoluteFilePath());
}

// Makes the folder and the parents it lacks, as `git init DIR` does. The nearest folder that
// exists already says what is in the way: a file, or no permission to write.
QDir madeFolder(const QString &folder)
{
    const QString wanted = QDir(folder).absolutePath();
    QString existing = wanted;
    while (!QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).absolutePath();
        if (parent == existing)
            break;
        existing = parent;
    }
    if (existing != wanted) {
        existingFolder(existing);
        if (!QDir().mkpath(wanted))
            failWith(QStringLiteral("フォルダ '%1' を作れません。").arg(wanted));
    }
    return existingFolder(wanted);
}

void makeFolder(const QDir &dir, const QString &name)
{
    if (!dir.mkpath(name))
        failWith(QStringLiteral("フォルダ '%1' を作れません。").arg(dir.filePath(name)));
}

// Adds one row the way the windows do, through an updatable result.
void insertRow(Database &db, const QString &table,
               std::initializer_list<std::pair<const char *, Variant>> fields)
{
    Recordset rs = db.openRecordset(QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE 1=0"));
    rs.addNew();
    for (const auto &[name, value] : fields)
        rs.setField(QString::fromLatin1(name), value);
    rs.update();
    rs.close();
}

struct Item {
    const char *letter;
    int eda;
    const char *label;
    const char *fmat;
};

void writeLayout(Database &db, const QString &table, std::initializer_list<Item> items)
{
    int position = 0;
    for (const Item &item : items) {
        insertRow(db, table,
                  {{"ID", position++},
                   {"Koumoku", item.letter},
                   {"Eda", item.eda},
                   {"Label", item.label},
                   {"fmat", item.fmat}});
    }
}

void writeOption(Database &db, int code, const QString &value)
{
    insertRow(db, QStringLiteral("UserOP"), {{"Code", code}, {"Contents", value}});
}

// Sample drawings: drawing number, product name, made on, quantity, remarks.
struct Sample {
    const char *number;
    const char *name;
    const char *made;
    double quantity;
    const char *remarks;
};

const Sample samples[] = {
    {"A1-1001", "ベースプレート", "2019-04-08", 2, "SS400 黒皮のまま\n四隅 C5"},
    {"A1-1002", "ブラケット", "2019-05-17", 4, "溶接後 焼鈍"},
    {"A1-1003", "シャフト", "2019-06-03", 1, "S45C 高周波焼入れ"},
    {"A1-1004", "フランジ", "2019-06-21", 2, ""},
    {"A2-2001", "軸受ハウジング", "2020-01-14", 2, "FC250\n内径 H7"},
    {"A2-2002", "カバー", "2020-02-02", 6, "SPCC t1.6 曲げ"},
    {"A2-2003", "プーリー", "2020-03-11", 1, "A5052"},
    {"A2-2004", "スペーサ", "2020-03-30", 12, ""},
    {"A3-3001", "ギヤボックス", "2020-07-07", 1, "組立図\n部品表は 2 ページ目"},
    {"A3-3002", "ピニオン", "2020-08-19", 1, "SCM440 浸炭"},
    {"A3-3003", "ラック", "2020-09-25", 1, ""},
    {"A3-3004", "モーターベース", "2021-01-12", 1, "塗装 マンセル N7"},
    {"B1-0101", "取付金具", "2021-02-08", 8, ""},
    {"B1-0102", "ストッパー", "2021-03-15", 4, "ウレタン貼付"},
    {"B1-0103", "ガイドレール", "2021-04-01", 2, "長さは現合"},
    {"B1-0104", "スライドブロック", "2021-05-20", 4, ""},
    {"B2-0201", "ノズル", "2021-07-01", 10, "SUS304"},
    {"B2-0202", "マニホールド", "2021-08-18", 1, "耐圧試験 1.5MPa"},
    {"B2-0203", "継手", "2021-09-09", 20, ""},
    {"B2-0204", "バルブ本体", "2021-10-30", 2, "鋳造品 外注"},
    {"C1-5001", "制御盤", "2022-01-17", 1, "配線図は別冊"},
    {"C1-5002", "端子台カバー", "2022-02-22", 3, ""},
    {"C1-5003", "操作パネル", "2022-04-04", 1, "銘板 彫刻"},
    {"C1-5004", "ケーブルダクト", "2022-05-16", 5, ""},
    {"D1-7001", "架台", "2022-08-01", 1, "アンカー M16 × 4"},
    {"D1-7002", "手すり", "2022-09-12", 2, "溶融亜鉛めっき"},
    {"D1-7003", "階段", "2022-11-28", 1, ""},
    {"D1-7004", "点検口", "2023-02-06", 2, "ヒンジ付"},
    {"E1-9001", "治具プレート", "2023-06-19", 1, "位置決めピン φ8"},
    {"E1-9002", "クランプ", "2023-07-24", 6, ""},
    {"E1-9003", "検査ゲージ", "2023-10-10", 1, "年 1 回 校正"},
    {"E1-9004", "搬送トレイ", "2024-03-05", 30, "PP 樹脂"},
};

void addRecord(Database &db, int id, const Sample &s)
{
    insertRow(db, QStringLiteral("DT"),
              {{"ID", id},
               {"Namae", QString::fromUtf8(s.name)},
               {"Str1", QString::fromUtf8(s.number)},
               {"Str2", QString::fromUtf8(s.name)},
               {"Date1", QDate::fromString(QString::fromLatin1(s.made), Qt::ISODate)},
               {"Val1", s.quantity},
               {"Text1", QString::fromUtf8(*s.remarks ? s.remarks : " ")}});
}

void addPage(Database &db, int id, int page, const QString &dir, const QString &file)
{
    insertRow(db, QStringLiteral("PG"), {{"ID", id}, {"Page", page}, {"Dir", dir}, {"FileName", file}});
}

void addHistory(Database &db, int id, int page, const QString &name, const QDate &date, const QString &what,
                const QString &who)
{
    insertRow(db, QStringLiteral("Hstry"),
              {{"ID", id}, {"Page", page}, {"Namae", name}, {"Date1", date}, {"Str1", what}, {"Str2", who}});
}

void saveImage(const QImage &image, const QString &path, const char *format)
{
    if (!image.save(path, format, 90))
        failWith(QStringLiteral("'%1' を書き込めません。").arg(path));
}

// Throws NumberedError, a runtime_error whose text is the reason.
void saveTiff(const QImage &image, const QString &path, int dpi)
{
    writeBilevelTiff(image, path, dpi);
}

} // namespace

void writeStartingLayouts(Database &db)
{
    // The drawing number, product name and remarks are the columns that requests and
    // the lookup list read whatever the layout says; the starting layout shows them.
    writeLayout(db, QStringLiteral("Desgn"),
                {{"S", 1, "図番", " "},
                 {"S", 2, "品名", " "},
                 {"D", 1, "作成日", " "},
                 {"N", 1, "数量", "#,##0"},
                 {"M", 1, "備考", " "}});
    writeLayout(db, QStringLiteral("DesgnHS"),
                {{"D", 1, "日付", " "}, {"S", 1, "内容", " "}, {"S", 2, "担当", " "}, {"M", 1, "備考", " "}});
}

void init(const QString &folder)
{
    const QDir dir = madeFolder(folder);
    const QString dbPath = dir.filePath(DatabaseFile);
    // An empty QV.MDB holds nothing to keep (an init interrupted by an older version leaves one).
    const QFileInfo existing(dbPath);
    const bool emptyFile = existing.isFile() && existing.size() == 0;
    if (existing.exists() && !emptyFile)
        failWith(QStringLiteral("'%1' はすでにあります。既存のデータベースには手を付けません。").arg(dbPath));
    makeFolder(dir, ScanFolder);
    makeFolder(dir, FilesFolder);
    saveTiff(placeholderPage(), dir.filePath(PlaceholderImage), 200);

    // Built under a name of its own and renamed when complete: an init that is interrupted
    // leaves no QV.MDB at all, never a part of one.
    const QString building =
        dir.filePath(QStringLiteral(".QV.MDB.%1.new").arg(QCoreApplication::applicationPid()));
    QFile::remove(building);
    QFile::remove(building + QStringLiteral("-journal"));
    Database db = Database::create(building);
    try {
        Transaction t(db);
        Schema::create(db);
        writeStartingLayouts(db);
        writeOption(db, 11, storedFolder(ScanFolder, dir.path()));
        writeOption(db, 12, storedFolder(FilesFolder, dir.path()));
        t.commit();
        db.close();
        if (emptyFile && QFileInfo(dbPath).size() == 0)
            QFile::remove(dbPath);
        if (!RenameNoReplace(building, dbPath))
            failWith(QStringLiteral("'%1' を置けません。").arg(dbPath));
    } catch (...) {
        // Leave the folder as it was.
        db.close();
        QFile::remove(building);
        throw;
    }
}

void demo(const QString &folder)
{
    init(folder);
    const QDir dir = existingFolder(folder);
    const QDir scan(dir.filePath(ScanFolder));
    const QDir files(dir.filePath(FilesFolder));
    makeFolder(files, QStringLiteral("部品"));

    Database db = Database::open(dir.filePath(DatabaseFile));
    Transaction t(db);
    const QSize a4(2339, 1654), a3(3307, 2339); // landscape at 200 dpi
    int id = 0;
    for (const Sample &s : samples) {
        ++id;
        addRecord(db, id, s);
        const QString number = QString::fromUtf8(s.number), name = QString::fromUtf8(s.name);
        const QSize size = (id % 4 == 1) ? a3 : a4;
        if (id == 6) {
            // An imported photo of a drawing, in a subfolder of the file data folder.
            const QString file = QStringLiteral("cover_photo.jpg");
            saveImage(sampleDrawing(number, name, id, QSize(1600, 1130)),
                      files.filePath(QStringLiteral("部品/") + file), "JPG");
            addPage(db, id, 1, QStringLiteral("部品"), file);
        } else if (id == 7) {
            // An imported bitmap lying directly in the file data folder: its folder is one blank.
            const QString file = QStringLiteral("pulley.bmp");
            saveImage(sampleDrawing(number, name, id, QSize(1169, 827)).convertToFormat(QImage::Format_Mono),
                      files.filePath(file), "BMP");
            addPage(db, id, 1, QStringLiteral(" "), file);
        } else if (id == 8) {
            // A page whose file has gone missing: the viewer shows the placeholder.
            addPage(db, id, 1, QStringLiteral("_SCAN"), QStringLiteral("SC000008.TIF"));
        } else {
            const QString file = QStringLiteral("SC%1.TIF").arg(id, 6, 10, QLatin1Char('0'));
            saveTiff(sampleDrawing(number, name, id, size), scan.filePath(file), 200);
            addPage(db, id, 1, QStringLiteral("_SCAN"), file);
        }
        if (id % 5 == 4 || id == 9) {
            for (int page = 2; page <= (id == 9 ? 3 : 2); ++page) {
                const QString file = QStringLiteral("SC%1%2.TIF")
                                         .arg(id, 6, 10, QLatin1Char('0'))
                                         .arg(page, 2, 10, QLatin1Char('0'));
                saveTiff(sampleDrawing(number, name + QStringLiteral(" (%1)").arg(page), id * 7 + page, a4),
                         scan.filePath(file), 200);
                addPage(db, id, page, QStringLiteral("_SCAN"), file);
            }
        }
        if (id % 3 == 0) {
            const QDate made = QDate::fromString(QString::fromLatin1(s.made), Qt::ISODate);
            addHistory(db, id, 1, QStringLiteral("初版"), made, QStringLiteral("新規作成"),
                       QStringLiteral("山田"));
            addHistory(db, id, 2, QStringLiteral("改訂A"), made.addMonths(5), QStringLiteral("寸法変更"),
                       QStringLiteral("佐藤"));
            if (id % 2 == 0)
                addHistory(db, id, 4, QStringLiteral("改訂C"), made.addMonths(14), QStringLiteral("材質変更"),
                           QStringLiteral("鈴木"));
        }
    }
    t.commit();
    db.close();
}

QStringList check(const QString &folder, int *version)
{
    const QDir dir = existingFolder(folder);
    Database db = openArchive(dir.path());
    const int v = Schema::version(db);
    if (version)
        *version = v;
    QStringList lacking = Schema::missing(db);
    if (v > Schema::CurrentVersion)
        lacking << QStringLiteral("形式 %1: このプログラム (形式 %2 まで) より新しい版で作られています")
                       .arg(v)
                       .arg(Schema::CurrentVersion);
    else if (v < Schema::CurrentVersion)
        lacking << QStringLiteral(
                       "形式 %1: 形式 %2 の索引がありません (Zumen が次に開くときに控えを作って更新します)")
                       .arg(v)
                       .arg(Schema::CurrentVersion);
    return lacking;
}

} // namespace zumen::WorkingFolder
