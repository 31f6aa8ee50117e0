// A value typed in the search window finds, with "=" and with 含む, exactly the rows a plain
// comparison of the stored texts finds: letter case ignored for ASCII letters only, the value
// one literal whatever characters it holds.
#include "db/database.h"
#include "db/jet_sql.h"

#include <cstdio>
#include <cstdlib>

using namespace zumen;

namespace {

// The search window's quoting: quotes doubled, and in a LIKE pattern the wildcard characters
// in brackets so that they stand for themselves.
QString quoted(QString value)
{
    return value.replace(u'\'', QStringLiteral("''"));
}

QString likeLiteral(const QString &value)
{
    QString pattern;
    for (const QChar c : value) {
        if (c == u'*' || c == u'?' || c == u'#' || c == u'[')
            pattern += u'[' + QString(c) + u']';
        else
            pattern += c;
    }
    return quoted(pattern);
}

QString foldAscii(QString text)
{
    for (QChar &c : text) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 0x20);
    }
    return text;
}

Database &memoryDb()
{
    static Database db = [] {
        Database d = Database::create(QStringLiteral(":memory:"));
        d.executeNative(QStringLiteral("CREATE TABLE DT (ID INTEGER PRIMARY KEY, Str1 TEXT COLLATE NOCASE, "
                                       "Text1 LONGTEXT COLLATE NOCASE)"));
        return d;
    }();
    return db;
}

QList<qint64> ids(const QString &sql)
{
    QList<qint64> out;
    Recordset rs = memoryDb().openRecordset(sql);
    while (!rs.eof()) {
        out << rs.field(QStringLiteral("ID")).toInteger();
        rs.moveNext();
    }
    return out;
}

void expect(bool holds, const char *what, const QString &value)
{
    if (holds)
        return;
    std::fprintf(stderr, "%s: value \"%s\"\n", what, value.toUtf8().constData());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The typed value, then the stored texts; NUL separates them, as no one types it.
    const QList<QByteArray> parts =
        QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)).split('\0');
    const QString value = QString::fromUtf8(parts[0]);
    Database &db = memoryDb();
    db.executeNative(QStringLiteral("DELETE FROM DT"));
    QList<qint64> equal, prefix, inside;
    {
        Statement insert = db.prepare(QStringLiteral("INSERT INTO DT (ID, Str1, Text1) VALUES (?1, ?2, ?2)"));
        for (qsizetype i = 1; i < parts.size() && i <= 16; ++i) {
            const QString row = QString::fromUtf8(parts[i]);
            insert.bind(1, Variant(static_cast<std::int64_t>(i)));
            insert.bind(2, Variant(row));
            insert.run();
            if (foldAscii(row) == foldAscii(value))
                equal << i;
            if (foldAscii(row).startsWith(foldAscii(value)))
                prefix << i;
            if (foldAscii(row).contains(foldAscii(value)))
                inside << i;
        }
    }

    const QString equalSql =
        QStringLiteral("SELECT * FROM DT WHERE Str1 ='") + quoted(value) + QStringLiteral("' ");
    const JetStatement st = translateJet(equalSql);
    expect(st.params == QList<Variant>{Variant(value)}, "value is not one literal", value);
    expect(ids(equalSql) == equal, "= differs", value);
    expect(ids(QStringLiteral("SELECT * FROM DT WHERE Str1 like '") + likeLiteral(value) +
               QStringLiteral("*' ")) == prefix,
           "含む (prefix) differs", value);
    expect(ids(QStringLiteral("SELECT * FROM DT WHERE Text1 LIKE '*") + likeLiteral(value) +
               QStringLiteral("*' ")) == inside,
           "含む (memo) differs", value);
    return 0;
}
