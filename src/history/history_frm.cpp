#include "history/history_frm.h"

#include "card/item_entry.h"
#include "db/archive.h"
#include "db/database.h"
#include "dialogs/guard.h"
#include "widgets/placements.h"
#include "widgets/ui.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace zumen {

History_frm::History_frm(Archive &archive)
    : EntryCard(archive, {QStringLiteral("History_frm"), QStringLiteral("履歴"), &archive.historyLayout,
                          false, PosRow::HistoryItemColumn, PosRow::HistoryValueColumn, PosRow::History, 12})
{
    Page = new QLabel(QStringLiteral("0"), this);
    nameControl(*Page, QStringLiteral("Page"), QStringLiteral("0"));
    Page->setGeometry(twipsRect(150, 405, 1080, 300));
    Page->setFont(windowFont(ProportionalGothic, 12));
    Page->setAlignment(Qt::AlignCenter);
    setColours(*Page, Qt::white, Teal);
    static const char *const captions[] = {"追加", "前へ", "次へ", "修正", "戻る"};
    for (int i = 0; i < 5; ++i) {
        auto *button = new QPushButton(QString::fromUtf8(captions[i]), this);
        nameControl(*button, QStringLiteral("Command(%1)").arg(i), button->text());
        button->setGeometry(twipsRect(120, 780 + 285 * i, 1125, 270));
        button->setAutoDefault(false);
        Command[static_cast<std::size_t>(i)] = button;
    }
    entryAfter(Command[4]);
    connect(m_entry, &ItemEntry::escapeInName, this, &QWidget::hide);
    connect(Command[0], &QPushButton::clicked, this, [this] { guarded([this] { AddEntry(); }); });
    connect(Command[1], &QPushButton::clicked, this, [this] { guarded([this] { GoPrevious(); }); });
    connect(Command[2], &QPushButton::clicked, this, [this] { guarded([this] { GoNext(); }); });
    connect(Command[3], &QPushButton::clicked, this, &History_frm::StartEdit);
    connect(Command[4], &QPushButton::clicked, this, &QWidget::hide);
}

void History_frm::showNumbers()
{
    setLabelText(*ID, QString::number(m_session.id), QStringLiteral("番号"));
    setLabelText(*Page, QString::number(m_session.page), QStringLiteral("履歴番号"));
}

void History_frm::Init(std::int32_t aID)
{
    // A card on a record without entry 1 saves a "修正" as entry 1 of this record, never
    // under a number left from another record.
    m_session.id = aID;
    m_session.page = 1;
    m_browsedEntry = 1;
    m_entry->clear();
    showNumbers();
    m_session.shown = m_archive.histories.entry(aID, 1).value_or(RowValues());
    if (!m_session.shown.isEmpty())
        m_entry->showRow(m_session.shown);
}

void History_frm::step(int by)
{
    const int wanted = m_browsedEntry + by;
    if (wanted < 1)
        return;
    // Only to the neighbouring number, and only when that entry exists.
    if (const auto row = m_archive.histories.entry(m_session.id, static_cast<std::int16_t>(wanted))) {
        m_session.page = m_browsedEntry = static_cast<std::int16_t>(wanted);
        m_session.shown = *row;
        showNumbers();
        m_entry->showRow(*row);
    }
}

void History_frm::GoPrevious()
{
    step(-1);
}

void History_frm::GoNext()
{
    step(1);
}

void History_frm::AddEntry()
{
    if (!guarded([this] { m_archive.db.refuseChanges(); }))
        return;
    m_entry->clear();
    // The new entry's number shows on the label; browsing goes on from the entry shown before.
    m_session.page = m_archive.histories.newEntryNumber(m_session.id);
    // A new entry expects its number free: another desk that added it meanwhile is not overwritten.
    m_session.shown.clear();
    setLabelText(*Page, QString::number(m_session.page), QStringLiteral("履歴番号"));
    m_session.mode = CardSession::Mode::New;
    m_entry->beginEntry();
}

void History_frm::StartEdit()
{
    if (!guarded([this] { m_archive.db.refuseChanges(); }))
        return;
    m_session.mode = CardSession::Mode::Edit;
    m_entry->beginEntry();
}

void History_frm::save()
{
    Transaction transaction(m_archive.db);
    m_archive.layouts.refuseIfChanged(LayoutStore::Table::History, m_archive.historyLayout);
    m_session.shown =
        m_archive.histories.saveEntry(m_session.id, m_session.page, m_entry->values(), m_session.shown);
    transaction.commit();
    m_entry->finish();
    m_session.mode = CardSession::Mode::View;
}

} // namespace zumen
