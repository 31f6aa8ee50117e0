#include "db/record_store.h"
#include "support/temp_db.h"

#include <QDir>
#include <QHash>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>

#include <iostream>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

// One acknowledged save of a row: "W.S<P", writer W's S-th write over the one written as P.
struct Save {
    QString write;
    QString over;
};

struct Tally {
    int adds = 0, edits = 0, entries = 0;
};

// The stored value of every row the writers write, by "DT id" or "H id page".
QMap<QString, QString> storedValues(Database &db)
{
    QMap<QString, QString> rows;
    for (Statement s = db.prepare(QStringLiteral("SELECT ID, Namae FROM DT")); s.step();)
        rows.insert(QStringLiteral("DT %1").arg(s.columnInteger(0)), s.column(1).toString());
    for (Statement s = db.prepare(QStringLiteral("SELECT ID, Page, Namae FROM Hstry")); s.step();)
        rows.insert(QStringLiteral("H %1 %2").arg(s.columnInteger(0)).arg(s.columnInteger(1)),
                    s.column(2).toString());
    return rows;
}

// Reads the writers' logs and lists, in words, whatever of them the archive does not hold: each
// record added once under a number of its own, numbers 1..N without a gap, each with its page 1,
// history entries numbered without a gap, and for every row its acknowledged saves forming one
// chain, each over the one before it, ending in the value stored.
QStringList problems(Database &db, const QStringList &logs, Tally &tally)
{
    QMap<QString, QList<Save>> saves;
    QSet<qint64> added;
    QStringList out;
    for (const QString &path : logs) {
        QFile log(path);
        if (!log.open(QIODevice::ReadOnly))
            continue; // a writer that never saved: its exit code tells why
        for (const QByteArray &line : log.readAll().split('\n')) {
            const QStringList f = QString::fromUtf8(line).split(u' ');
            if (f.size() != 4)
                continue;
            const QString key = f[0] == QLatin1String("H") ? f.mid(0, 3).join(u' ') : f[0] + u' ' + f[1];
            const Save save{f[3].section(u'<', 0, 0), f[3].section(u'<', 1)};
            saves[key] << save;
            if (save.over != QLatin1String("-")) {
                ++tally.edits;
            } else if (f[0] == QLatin1String("H")) {
                ++tally.entries;
            } else {
                ++tally.adds;
                if (added.contains(f[1].toLongLong()))
                    out << QStringLiteral("record %1 was acknowledged as added twice").arg(f[1]);
                added.insert(f[1].toLongLong());
            }
        }
    }
    // Nothing deletes: the numbers handed out run from 1 without a gap.
    for (qint64 id = 1; id <= added.size(); ++id)
        if (!added.contains(id))
            out << QStringLiteral("no acknowledged add of record %1 of %2").arg(id).arg(added.size());

    QHash<qint64, QStringList> pages;
    for (Statement s = db.prepare(QStringLiteral("SELECT ID, Page, FileName FROM PG")); s.step();)
        pages[s.columnInteger(0)]
            << QStringLiteral("%1 %2").arg(s.columnInteger(1)).arg(s.column(2).toString());
    for (auto it = pages.begin(); it != pages.end(); ++it)
        if (!added.contains(it.key()))
            out << QStringLiteral("pages of record %1, never added: %2").arg(it.key()).arg(it->join(u','));
    for (const qint64 id : added)
        if (const QString want =
                QStringLiteral("1 ") + ScanFileName(static_cast<std::int32_t>(id), std::nullopt);
            pages.value(id) != QStringList{want})
            out << QStringLiteral("record %1 has pages '%2' instead of '%3'")
                       .arg(id)
                       .arg(pages.value(id).join(u','), want);

    QHash<QString, int> entries; // "H id" → entries stored, numbered 1..count
    const QMap<QString, QString> stored = storedValues(db);
    for (auto it = stored.begin(); it != stored.end(); ++it)
        if (it.key().startsWith(u'H'))
            ++entries[it.key().section(u' ', 0, 1)];
    for (auto it = stored.begin(); it != stored.end(); ++it)
        if (it.key().startsWith(u'H') &&
            it.key().section(u' ', 2).toInt() > entries[it.key().section(u' ', 0, 1)])
            out << QStringLiteral("%1: numbered past the entries before it").arg(it.key());

    QSet<QString> keys(stored.keyBegin(), stored.keyEnd());
    for (auto it = saves.keyBegin(); it != saves.keyEnd(); ++it)
        keys.insert(*it);
    for (const QString &key : keys) {
        const QList<Save> &rowSaves = saves[key];
        const QString now = stored.value(key, QStringLiteral("(none)"));
        if (rowSaves.isEmpty()) {
            out << key + QStringLiteral(" holds ") + now + QStringLiteral(", which no writer acknowledged");
            continue;
        }
        // Which save came over which: every one over another acknowledged save of the row,
        // none over the same one as another (that one would have been overwritten unseen).
        QHash<QString, QString> after;
        QSet<QString> writes;
        for (const Save &s : rowSaves)
            writes.insert(s.write);
        for (const Save &s : rowSaves) {
            if (s.over != QLatin1String("-") && !writes.contains(s.over))
                out << key + QStringLiteral(": ") + s.write + QStringLiteral(" was saved over ") + s.over +
                           QStringLiteral(", never acknowledged");
            if (after.contains(s.over))
                out << key + QStringLiteral(": ") + s.write + QStringLiteral(" and ") + after[s.over] +
                           QStringLiteral(" were both saved over ") + s.over;
            after.insert(s.over, s.write);
        }
        QString last = QStringLiteral("-"), chain;
        int length = 0;
        while (after.contains(last) && length <= rowSaves.size()) {
            chain = last;
            last = after[last];
            ++length;
        }
        if (length != rowSaves.size())
            out << key + QStringLiteral(": %1 of its %2 acknowledged saves follow one another")
                             .arg(length)
                             .arg(rowSaves.size());
        if (now != last + u'<' + chain)
            out << key + QStringLiteral(" holds ") + now +
                       QStringLiteral(", its last acknowledged save is ") + last + u'<' + chain;
    }
    return out;
}

class Writers : public ::testing::TestWithParam<Dialect> {
protected:
    void SetUp() override { ZUMEN_REQUIRE_ENGINE(GetParam()); }
};

// Eight writers adding and editing records and history entries on one archive at once, for
// ZUMEN_WRITERS_SECONDS (20 by default): no save a writer was told succeeded is lost,
// duplicated or overwritten unseen, and a refused save leaves the row as the other writer left it.
TEST_P(Writers, EightWritersKeepEveryAcknowledgedWriteOnce)
{
    TempDb t(GetParam());
    const bool server = GetParam() == Dialect::PostgreSQL;
    const int seconds = qEnvironmentVariableIsSet("ZUMEN_WRITERS_SECONDS")
                            ? qEnvironmentVariableIntValue("ZUMEN_WRITERS_SECONDS")
                            : 20;
    const quint32 seed = QRandomGenerator::global()->generate();
    const QDir folder(t.folder());
    QStringList logs;
    std::vector<std::unique_ptr<QProcess>> writers;
    for (int w = 1; w <= 8; ++w) {
        logs << folder.filePath(QStringLiteral("W%1.log").arg(w));
        auto &writer = writers.emplace_back(std::make_unique<QProcess>());
        writer->start(QStringLiteral(ARCHIVE_WRITER),
                      {server ? QStringLiteral("server") : QStringLiteral("file"),
                       server ? t.conninfo() : t.path(), logs.back(), QString::number(w),
                       QString::number(seconds), QString::number(seed)});
    }
    int refused = 0, locked = 0;
    for (int w = 1; w <= 8; ++w) {
        QProcess &writer = *writers[static_cast<std::size_t>(w - 1)];
        ASSERT_TRUE(writer.waitForFinished((seconds + 60) * 1000)) << "writer " << w << " did not end";
        EXPECT_TRUE(writer.exitStatus() == QProcess::NormalExit && writer.exitCode() == 0)
            << "writer " << w << " (seed " << seed << ") ended with " << writer.exitCode() << ":\n"
            << writer.readAllStandardError().toStdString();
        const QStringList counts = QString::fromUtf8(writer.readAllStandardOutput()).split(u' ');
        refused += counts.value(1).toInt();
        locked += counts.value(3).toInt();
    }
    Tally tally;
    const QStringList found = problems(t.db(), logs, tally);
    EXPECT_TRUE(found.isEmpty()) << "seed " << seed << ":\n" << found.mid(0, 30).join(u'\n').toStdString();
    std::cout << engineName(GetParam()) << ": " << tally.adds << " records added, " << tally.entries
              << " entries added, " << tally.edits << " edits; " << refused << " saves refused, " << locked
              << " met a lock\n";
    EXPECT_GT(tally.adds, 8);
    EXPECT_GT(tally.edits, 8);
}

INSTANTIATE_TEST_SUITE_P(Engines, Writers, ::testing::Values(Dialect::SQLite, Dialect::PostgreSQL),
                         [](const auto &p) { return engineName(p.param); });

} // namespace
