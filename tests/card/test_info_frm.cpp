#include "card/info_frm.h"
#include "card/memo_frm.h"
#include "db/archive.h"
#include "options/opt_frm.h"
#include "support/modal.h"
#include "support/test_desk.h"
#include "widgets/flex_grid.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace zumen;

namespace {

// A layout with every kind: 数量 N1 "#,##0", 図番 S1, 作成日 D1, 備考 M1, 品名 S2.
class Card : public ::testing::Test {
protected:
    explicit Card(Dialect dialect = Dialect::SQLite) : d(dialect) {}
    void SetUp() override
    {
        d.exec(QStringLiteral(
            "INSERT INTO Desgn (ID, Koumoku, Eda, Label, fmat) VALUES "
            "(0, 'N', 1, '数量', '#,##0'), (1, 'S', 1, '図番', ' '), (2, 'D', 1, '作成日', ' '),"
            "(3, 'M', 1, '備考', ' '), (4, 'S', 2, '品名', ' ')"));
        const bool server = d.temp().db().dialect() == Dialect::PostgreSQL;
        d.exec(QStringLiteral(
                   "INSERT INTO DT (ID, Namae, Val1, Str1, Date1, Text1, Str2, Val2) VALUES "
                   "(1, 'one', 12345, 'A1-100', '2001-03-05', 'line 1' || %1(10) || 'line 2', 'bracket', 7),"
                   "(2, NULL, NULL, NULL, NULL, NULL, NULL, NULL),"
                   "(7, 'seven', 12.5, 'A7', NULL, ' ', 'shaft', NULL)")
                   .arg(server ? QStringLiteral("chr") : QStringLiteral("char")));
        d.exec(QStringLiteral(
            "INSERT INTO PG (ID, Page, Dir, FileName) VALUES (1, 1, '_SCAN', 'SC000001.TIF')"));
        d.open();
    }
    Info_frm &card() { return *d.desk().card; }
    QString cell(int row) { return card().List->textMatrix(row, 1); }
    void click(int button)
    {
        QTest::mouseClick(card().Command[static_cast<std::size_t>(button)], Qt::LeftButton);
    }
    void type(QWidget *box, const QString &text)
    {
        static_cast<QLineEdit *>(box)->selectAll();
        if (text.isEmpty())
            QTest::keyClick(box, Qt::Key_Delete);
        typeText(box, text);
        QTest::keyClick(box, Qt::Key_Return);
    }
    // From the name box through 数量 and 図番 to 作成日, which opens the memo editor for 備考 on
    // the way out: F10 keeps the memo.
    void walkToTheDate(int id, const QString &name = {})
    {
        card().Display(id);
        click(4);
        if (name.isEmpty())
            QTest::keyClick(card().eNamae, Qt::Key_Return);
        else
            type(card().eNamae, name);
        for (int i = 0; i < 2; ++i)
            QTest::keyClick(card().eNaiyou, Qt::Key_Return);
        whenModal([](QWidget *memo) { QTest::keyClick(memo->findChild<QPlainTextEdit *>(), Qt::Key_F10); });
    }
    Variant stored(int id, const char *column)
    {
        return d.desk().records.record(id).value_or(RowValues()).value(QString::fromLatin1(column));
    }
    TestDesk d;
};

TEST_F(Card, BrowsingRendersEachKindAndStopsAtTheEnds)
{
    EXPECT_EQ(card().List->rows(), 6);
    // Without a stored placement every item shows whole.
    EXPECT_LE(card().List->rowViewportPosition(5) + card().List->rowHeight(5),
              card().List->viewport()->height());
    EXPECT_EQ(card().eNamae->accessibleName(), QStringLiteral("名前"));

    click(2);
    EXPECT_EQ(card().ID->accessibleName(), QStringLiteral("1"));
    EXPECT_EQ(card().eNamae->text(), QStringLiteral("one"));
    EXPECT_EQ(cell(1), QStringLiteral("12,345")); // wider than its format: shown whole
    EXPECT_EQ(cell(2), QStringLiteral("A1-100"));
    EXPECT_EQ(cell(3), QStringLiteral("2001/03/05"));
    EXPECT_EQ(cell(4), QStringLiteral("line 1\nline 2"));
    click(2);
    EXPECT_EQ(card().eNamae->text(), QString());
    EXPECT_EQ(cell(1), QStringLiteral("    0"));
    EXPECT_EQ(cell(3), QStringLiteral("0000/00/00"));
    click(2);
    click(2);           // the last record: stays
    card().Display(99); // not in the table: nothing changes
    EXPECT_EQ(card().ID->text(), QStringLiteral("7"));
}

TEST_F(Card, EntryWalkNormalisesAndSavesEveryKind)
{
    card().Display(2);
    click(4);
    EXPECT_TRUE(card().eNamae->hasFocus());
    type(card().eNamae, QStringLiteral("  new name "));
    type(card().eNaiyou, QStringLiteral("１，２３４円")); // full width, as an input method types it
    EXPECT_EQ(cell(1), QStringLiteral("1,234"));
    QTest::keyClick(card().eNaiyou, Qt::Key_Up); // back to 数量
    QTest::keyClick(card().eNaiyou, Qt::Key_Up); // already the first item
    EXPECT_EQ(card().session().currentItem, 0);
    QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    type(card().eNaiyou, QStringLiteral("  b-9 "));
    EXPECT_EQ(cell(2), QStringLiteral("b-9"));
    // The memo editor opens for 備考 after the date; F10 hands the typed memo back.
    whenModal([](QWidget *memo) {
        auto *box = memo->findChild<QPlainTextEdit *>();
        QTest::keyClicks(box, QStringLiteral("memo"));
        QTest::keyClick(box, Qt::Key_F10);
    });
    type(card().eNaiyou, QStringLiteral("H13/4/1"));
    type(card().eNaiyou, QString());
    EXPECT_EQ(card().session().mode, CardSession::Mode::View);
    EXPECT_EQ(stored(2, "Namae"), Variant("new name"));
    EXPECT_EQ(stored(2, "Val1"), Variant(1234.0));
    EXPECT_EQ(stored(2, "Str1"), Variant("b-9"));
    EXPECT_EQ(stored(2, "Date1"), Variant(QDate(2001, 4, 1)));
    EXPECT_EQ(stored(2, "Text1"), Variant("memo"));
    EXPECT_EQ(stored(2, "Str2"), Variant(" ")); // empty text stored as one blank
}

TEST_F(Card, AWalkSavesTheDateAsLeftEmptiedOrTypedAndKeepsTheRest)
{
    const struct {
        int id;
        std::optional<QString> typed; // none: Enter on the date as shown
        QString shown;
        Variant saved;
    } walks[] = {{7, std::nullopt, QStringLiteral("0000/00/00"), Variant()},
                 {1, QString(), QStringLiteral("0000/00/00"), Variant()},
                 {1, QStringLiteral("no date"), QStringLiteral("1899/12/30"), Variant(QDate(1899, 12, 30))}};
    for (const auto &w : walks) {
        walkToTheDate(w.id);
        if (w.typed)
            type(card().eNaiyou, *w.typed);
        else
            QTest::keyClick(card().eNaiyou, Qt::Key_Return);
        EXPECT_EQ(cell(3), w.shown);
        ASSERT_EQ(card().Koumoku->text(), QStringLiteral("品名"));
        QTest::keyClick(card().eNaiyou, Qt::Key_Return);
        EXPECT_EQ(card().session().mode, CardSession::Mode::View);
        EXPECT_EQ(stored(w.id, "Date1"), w.saved);
    }
    EXPECT_EQ(stored(7, "Val1"), Variant(12.5)); // shown as "13", saved as held
    EXPECT_EQ(stored(7, "Str2"), Variant("shaft"));
    EXPECT_EQ(stored(1, "Text1"), Variant("line 1\nline 2"));
    EXPECT_EQ(stored(1, "Val2"), Variant(7.0)); // outside the layout: untouched
}

// A write the engine refuses (as a damaged or locked file would) is shown; what was typed stays
// until Esc, whose "yes" shows the stored record again.
TEST_F(Card, AFailedSaveIsShownAndEscThenShowsTheStoredRecord)
{
    d.desk().db.executeNative(QStringLiteral(
        "CREATE TRIGGER refuse BEFORE UPDATE ON DT BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    walkToTheDate(7, QStringLiteral("changed"));
    QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    {
        AlertAnswerer alerts;
        QTest::keyClick(card().eNaiyou, Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.texts().size() == 1; }));
        EXPECT_TRUE(alerts.texts()[0].startsWith(QStringLiteral("3022\r")));
    }
    EXPECT_EQ(stored(7, "Namae"), Variant("seven"));
    EXPECT_EQ(card().eNamae->text(), QStringLiteral("changed"));
    chooseUpperOption();
    QTest::keyClick(card().eNaiyou, Qt::Key_Escape);
    EXPECT_EQ(card().session().mode, CardSession::Mode::View);
    EXPECT_EQ(card().eNamae->text(), QStringLiteral("seven"));
}

// Another desk on the folder saves record 7 while this one edits it: this save is refused naming
// the record, what was typed stays, and the record shown again brings the other values and saves.
// Two desks on one archive, on each engine.
class CardOnEachEngine : public Card, public ::testing::WithParamInterface<Dialect> {
protected:
    CardOnEachEngine() : Card(GetParam()) {}
    void SetUp() override
    {
        ZUMEN_REQUIRE_ENGINE(GetParam());
        Card::SetUp();
    }
};

TEST_P(CardOnEachEngine, ASaveOverAnotherDesksChangeIsRefusedUntilTheRecordIsShownAgain)
{
    Archive other(d.otherDesk());
    walkToTheDate(7, QStringLiteral("mine"));
    other.records.saveRecord(7, {{QStringLiteral("Namae"), QStringLiteral("theirs")}},
                             other.records.record(7));
    QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    {
        AlertAnswerer alerts;
        QTest::keyClick(card().eNaiyou, Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.texts().size() == 1; }));
        EXPECT_TRUE(alerts.texts()[0].startsWith(QStringLiteral("3197\r")));
        EXPECT_TRUE(alerts.texts()[0].contains(QStringLiteral("レコード 7 ")));
    }
    EXPECT_EQ(card().eNamae->text(), QStringLiteral("mine"));
    EXPECT_EQ(card().session().mode, CardSession::Mode::Edit);
    EXPECT_EQ(stored(7, "Namae"), Variant("theirs"));

    card().Display(7);
    EXPECT_EQ(card().eNamae->text(), QStringLiteral("theirs"));
    walkToTheDate(7, QStringLiteral("mine"));
    QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    EXPECT_EQ(card().session().mode, CardSession::Mode::View);
    EXPECT_EQ(stored(7, "Namae"), Variant("mine"));
}

// A layout another desk registered since this one started would put the values in other items.
TEST_F(Card, ASaveAfterAnotherDeskChangedTheLayoutIsRefusedAndKeepsWhatWasTyped)
{
    walkToTheDate(7, QStringLiteral("mine"));
    d.otherDesk().executeNative(QStringLiteral("UPDATE Desgn SET Koumoku='N' WHERE ID=4"));
    QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    AlertAnswerer alerts;
    QTest::keyClick(card().eNaiyou, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.texts().size() == 1; }));
    EXPECT_TRUE(alerts.texts()[0].contains(QStringLiteral("起動し直して")))
        << alerts.texts()[0].toStdString();
    EXPECT_EQ(card().eNamae->text(), QStringLiteral("mine"));
    EXPECT_EQ(card().session().mode, CardSession::Mode::Edit);
    EXPECT_EQ(stored(7, "Namae"), Variant("seven"));
}

INSTANTIATE_TEST_SUITE_P(Engines, CardOnEachEngine, ::testing::Values(Dialect::SQLite, Dialect::PostgreSQL),
                         engineParamName);

TEST_F(Card, TheHiddenGestureOnEndOpensOptions)
{
    const auto all = Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier;
    QTest::mousePress(card().Command[6], Qt::LeftButton, all);
    QTest::mouseRelease(card().Command[6], Qt::LeftButton, all);
    Opt_frm *options = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        options = options ? options : qobject_cast<Opt_frm *>(w);
    ASSERT_TRUE(options && options->isVisible());
    options->close();
    EXPECT_FALSE(d.ended());
}

} // namespace
