#include "card/entry_card.h"

#include "card/item_entry.h"
#include "db/archive.h"
#include "dialogs/guard.h"
#include "widgets/flex_grid.h"
#include "widgets/placements.h"
#include "widgets/ui.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>

namespace zumen {
namespace {

// Design size of the inner area and the smallest size at which every control keeps a
// positive size under the resize rule.
constexpr int DesignWidth = 11565;
constexpr int DesignHeight = 3015;
constexpr int MinimumWidth = 4800;
constexpr int MinimumHeight = 2400;

} // namespace

EntryCard::EntryCard(Archive &archive, const Setup &setup)
    : QWidget(nullptr), m_archive(archive), m_placementRow(setup.placementRow)
{
    setWindowTitle(setup.title);
    nameControl(*this, setup.objectName, setup.title);
    resize(twipsToPixels(DesignWidth), twipsToPixels(DesignHeight));
    setMinimumSize(twipsToPixels(MinimumWidth), twipsToPixels(MinimumHeight));

    ID = new QLabel(QStringLiteral("0"), this);
    nameControl(*ID, QStringLiteral("ID"), QStringLiteral("0"));
    ID->setGeometry(twipsRect(150, 15, 1080, 345));
    ID->setFont(windowFont(ProportionalGothic, setup.idFontSize));
    ID->setAlignment(Qt::AlignCenter);
    setColours(*ID, Qt::white, Teal);

    for (int i = 0; i < 2; ++i) {
        auto *line = new QFrame(this);
        nameControl(*line, QStringLiteral("Line(%1)").arg(i));
        line->setFrameShape(QFrame::VLine);
        line->setFrameShadow(i == 0 ? QFrame::Sunken : QFrame::Raised);
        line->setGeometry(twipsRect(1470 + 15 * i, 195, 15, 2490));
    }
    const QFont boxFont = windowFont(ProportionalGothic, 12);
    Label0 = new QLabel(QStringLiteral("名前"), this);
    nameControl(*Label0, QStringLiteral("Label(0)"), QStringLiteral("名前"));
    Label0->setGeometry(twipsRect(1785, 60, 1050, 315));
    Label0->setFont(windowFont(ProportionalGothic, 11.25));
    Label0->setAlignment(Qt::AlignCenter);
    setColours(*Label0, Qt::white, Green);

    eNamae = new QLineEdit(this);
    nameControl(*eNamae, QStringLiteral("eNamae"), QStringLiteral("名前"));
    eNamae->setGeometry(twipsRect(2895, 75, 5475, 285));
    eNamae->setFont(boxFont);

    List = new FlexGrid(this);
    nameControl(*List, QStringLiteral("List"), QStringLiteral("項目と値"));
    List->setGeometry(twipsRect(1590, 420, 9615, 1950));

    // The item label and value box show only during an entry.
    Koumoku = new QLabel(this);
    nameControl(*Koumoku, QStringLiteral("Koumoku"));
    Koumoku->setGeometry(twipsRect(1785, 2445, 1635, 330));
    Koumoku->setFont(boxFont);
    Koumoku->setAlignment(Qt::AlignCenter);
    setColours(*Koumoku, Qt::white, Green);
    Koumoku->hide();

    eNaiyou = new QLineEdit(this);
    nameControl(*eNaiyou, QStringLiteral("eNaiyou"), QStringLiteral("値"));
    eNaiyou->setGeometry(twipsRect(3495, 2430, 6735, 360));
    eNaiyou->setFont(boxFont);
    eNaiyou->hide();

    m_entry = new ItemEntry(
        archive.placements, {eNamae, List, Koumoku, eNaiyou},
        {setup.layout, setup.emptyTextAsSpace, setup.itemColumnRow, setup.valueColumnRow},
        m_session.currentItem, [this] { save(); }, this);
    m_entry->buildGrid();
}

void EntryCard::setMemoEditor(Memo_frm &memo)
{
    m_entry->setMemoEditor(&memo);
}

void EntryCard::entryAfter(QWidget *lastButton)
{
    setTabOrder(lastButton, eNamae);
    setTabOrder(eNamae, List);
    setTabOrder(List, eNaiyou);
}

void EntryCard::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_entry)
        m_entry->fitTo(*this);
}

void EntryCard::Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    guarded([this] {
        SaveWindowPlacement(m_archive.placements, *this, m_placementRow);
        m_entry->saveGridWidths();
    });
}

} // namespace zumen
