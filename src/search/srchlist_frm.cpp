#include "search/srchlist_frm.h"

#include "dialogs/guard.h"
#include "search/search_result_model.h"
#include "widgets/ui.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

namespace zumen {

SrchList_frm::SrchList_frm() : QWidget(nullptr)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("検索結果"));
    nameControl(*this, QStringLiteral("SrchList_frm"), QStringLiteral("検索結果"));
    resize(twipsToPixels(6840), twipsToPixels(5880));
    setFont(windowFont(ProportionalGothic, 9));

    message = new QLabel(QStringLiteral("ダブルクリックで表示します。"), this);
    nameControl(*message, QStringLiteral("message"), message->text());
    message->setGeometry(twipsRect(120, 60, 6480, 300));

    m_model = new SearchResultModel(this);
    List = new QTableView(this);
    nameControl(*List, QStringLiteral("List"), QStringLiteral("検索結果"));
    List->setGeometry(twipsRect(120, 420, 6480, 4800));
    List->setModel(m_model);
    List->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List->setSelectionMode(QAbstractItemView::SingleSelection);
    List->setSelectionBehavior(QAbstractItemView::SelectRows);
    List->setWordWrap(false);
    List->verticalHeader()->hide();
    QFont gridFont = List->font();
    gridFont.setPointSizeF(12);
    List->setFont(gridFont);
    List->horizontalHeader()->setFont(gridFont);
    // Every row as high as the font: a hundred thousand rows need no measuring.
    List->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    List->verticalHeader()->setDefaultSectionSize(QFontMetrics(gridFont).height() + 6);
    List->setColumnWidth(0, twipsToPixels(1000));
    List->setColumnWidth(1, twipsToPixels(5000));

    // Without a command of its own the list could only be closed by the window manager.
    Close = new QPushButton(QStringLiteral("閉じる"), this);
    nameControl(*Close, QStringLiteral("Close"), Close->text());
    Close->setGeometry(twipsRect(5400, 5340, 1200, 390));
    Close->setAutoDefault(false);

    connect(List, &QTableView::doubleClicked, this,
            [this](const QModelIndex &index) { guarded([&] { showRecord(index.row() + 1); }); });
    connect(Close, &QPushButton::clicked, this, &QWidget::close);
}

void SrchList_frm::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        guarded([this] { showRecord(currentRow()); });
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void SrchList_frm::fill(Recordset result)
{
    m_model->setResult(std::move(result));
    makeCurrent(1);
}

int SrchList_frm::rowCount() const
{
    return m_model->rowCount() + 1;
}

int SrchList_frm::currentRow() const
{
    const QModelIndex current = List->currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

QString SrchList_frm::textMatrix(int row, int col) const
{
    if (row == 0)
        return m_model->headerData(col, Qt::Horizontal).toString();
    return m_model->index(row - 1, col).data().toString();
}

bool SrchList_frm::step(bool next, std::int32_t &id)
{
    const int row = currentRow() + (next ? 1 : -1);
    if (row < 1 || row >= rowCount())
        return false;
    makeCurrent(row);
    id = m_model->id(row - 1);
    return true;
}

void SrchList_frm::showRecord(int row)
{
    if (row < 1 || row >= rowCount())
        return;
    makeCurrent(row);
    emit recordRequested(m_model->id(row - 1));
}

void SrchList_frm::makeCurrent(int row)
{
    // Column 0, as the identifier is read from there whichever cell was clicked.
    if (row >= 1 && row < rowCount())
        List->setCurrentIndex(m_model->index(row - 1, 0));
}

} // namespace zumen
