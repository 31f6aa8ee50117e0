#include "history/history_frm.h"

#include "card/item_entry.h"
#include "db/database.h"
#include "db/layouts.h"
#include "dialogs/guard.h"
#include "shell/desk.h"
#include "text/utility.h"
#include "widgets/flex_grid.h"
#include "widgets/placements.h"
#include "widgets/ui.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace zumen {
namespace {

constexpr int DesignWidth = 11565;
constexpr int DesignHeight = 3015;

} // namespace

History_frm::History_frm(Desk &desk) : QWidget(nullptr), m_desk(desk)
{
    setWindowTitle(QStringLiteral("履歴"));
    nameControl(*this, QStringLiteral("History_frm"), QStringLiteral("履歴"));
    resize(twipsToPixels(DesignWidth), twipsToPixels(DesignHeight));
    setMinimumSize(twipsToPixels(4800), twipsToPixels(2400));

    ID = new QLabel(QStringLiteral("0"), this);
    nameControl(*ID, QStringLiteral("ID"), QStringLiteral("0"));
    ID->setGeometry(twipsRect(150, 15, 1080, 345));
    Page = new QLabel(QStringLiteral("0"), this);
    nameControl(*Page, QStringLiteral("Page"), QStringLiteral("0"));
    Page->setGeometry(twipsRect(150, 405, 1080, 300));
    for (QLabel *label : {ID, Page}) {
        label->setFont(windowFont(ProportionalGothic, 12));
        label->setAlignment(Qt::AlignCenter);
        setColours(*label, Qt::white, Teal);
    }
    static const char *const captions[] = {"追加", "前へ", "次へ", "修正", "戻る"};
    for (int i = 0; i < 5; ++i) {
        auto *button = new QPushButton(QString::fromUtf8(captions[i]), this);
        nameControl(*button, QStringLiteral("Command(%1)").arg(i), button->text());
        button->setGeometry(twipsRect(120, 780 + 285 * i, 1125, 270));
        button->setAutoDefault(false);
        Command[static_cast<std::size_t>(i)] = button;
    }
    const EntryControls controls = createEntryControls(*this);
    Label0 = controls.nameLabel;
    eNamae = controls.name;
    List = controls.grid;
    Koumoku = controls.itemLabel;
    eNaiyou = controls.valueBox;

    // An empty text is stored empty here, unlike on the record card.
    m_entry = new ItemEntry(
        desk, {eNamae, List, Koumoku, eNaiyou},
        {&HistoryLayout, false, PosRow::HistoryItemColumn, PosRow::HistoryValueColumn}, CurrentItem,
        [this] { SaveEntry(); }, this);
    m_entry->buildGrid();
    connect(m_entry, &ItemEntry::escapeInName, this, &QWidget::hide);
    connect(Command[0], &QPushButton::clicked, this, [this] { guarded([this] { AddEntry(); }); });
    connect(Command[1], &QPushButton::clicked, this, [this] { guarded([this] { GoPrevious(); }); });
    connect(Command[2], &QPushButton::clicked, this, [this] { guarded([this] { GoNext(); }); });
    connect(Command[3], &QPushButton::clicked, this, &History_frm::StartEdit);
    connect(Command[4], &QPushButton::clicked, this, &QWidget::hide);
}

QString History_frm::entrySql(const QString &id, const QString &page) const
{
    return QStringLiteral("SELECT * FROM Hstry ") + QStringLiteral(" WHERE ID=") + id +
           QStringLiteral(" AND   Page=") + page;
}

void History_frm::Init(std::int32_t aID)
{
    CurrentPage = 1;
    RecordID = aID;
    ClearCard();
    setLabelText(*ID, NumText(aID), QStringLiteral("番号"));
    // A card on a record without entry 1 saves a "修正" as entry 1 of this record, never
    // under a number left from another record.
    setLabelText(*Page, QStringLiteral("1"), QStringLiteral("履歴番号"));
    Recordset rs = m_desk.db.openRecordset(entrySql(NumText(aID), QStringLiteral("1")));
    if (!rs.eof())
        m_entry->showRow(rs);
    rs.close();
}

void History_frm::step(int by)
{
    const int wanted = CurrentPage + by;
    if (wanted < 1)
        return;
    Recordset rs = m_desk.db.openRecordset(entrySql(NumText(RecordID), NumText(wanted)));
    if (!rs.eof()) {
        CurrentPage = static_cast<std::int16_t>(wanted);
        setLabelText(*ID, NumText(RecordID), QStringLiteral("番号"));
        setLabelText(*Page, NumText(CurrentPage), QStringLiteral("履歴番号"));
        m_entry->showRow(rs);
    }
    rs.close();
}

void History_frm::GoPrevious()
{
    step(-1);
}

void History_frm::GoNext()
{
    step(1);
}

void History_frm::ClearCard()
{
    m_entry->clear();
}

void History_frm::NewEntryNumber()
{
    Recordset rs = m_desk.db.openRecordset(QStringLiteral("SELECT TOP 1 Page FROM Hstry ") +
                                           QStringLiteral(" WHERE ID=") + NumText(RecordID) +
                                           QStringLiteral(" ORDER BY Page DESC"));
    setLabelText(*Page,
                 rs.eof() ? QStringLiteral("1")
                          : QString::number(NullToZero(rs.field(QStringLiteral("Page"))).toInteger() + 1),
                 QStringLiteral("履歴番号"));
    rs.close();
}

void History_frm::AddEntry()
{
    ClearCard();
    NewEntryNumber();
    Mode = QStringLiteral("NEW");
    m_entry->beginEntry();
}

void History_frm::StartEdit()
{
    Mode = QStringLiteral("EDIT");
    m_entry->beginEntry();
}

void History_frm::SaveEntry()
{
    const QString id = ID->text();
    const QString page = Page->text();
    Recordset rs =
        m_desk.db.openRecordset(QStringLiteral("SELECT * FROM Hstry") + QStringLiteral(" WHERE ID=") +
                                NumberText(id) + QStringLiteral(" AND   Page=") + NumberText(page));
    if (rs.eof()) {
        rs.addNew();
        rs.setField(QStringLiteral("ID"), static_cast<std::int32_t>(NumberValue(id)));
        rs.setField(QStringLiteral("Page"), static_cast<std::int16_t>(NumberValue(page)));
    } else {
        rs.edit();
    }
    m_entry->writeRow(rs);
    rs.update();
    rs.close();
    m_entry->finish();
    Mode = QStringLiteral("VIEW");
}

void History_frm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_entry)
        m_entry->fitTo(*this);
}

void History_frm::Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    guarded([this] {
        SaveWindowPlacement(m_desk.db, *this, PosRow::History);
        m_entry->saveGridWidths();
    });
}

} // namespace zumen
