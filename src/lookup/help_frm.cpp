#include "lookup/help_frm.h"

#include "text/utility.h"
#include "widgets/ui.h"

#include <QApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace zumen {

namespace {

const QColor Blue{0, 0, 255};
const QColor Red{255, 0, 0};

QLabel *cell(QWidget *parent, const QString &name, int row, int width)
{
    auto *label = new QLabel(parent);
    label->setFont(windowFont(ProportionalGothic, 9));
    label->setFixedSize(twipsToPixels(width), twipsToPixels(255));
    label->setMargin(1);
    nameControl(*label, QStringLiteral("%1(%2)").arg(name).arg(row));
    return label;
}

} // namespace

Help_frm::Help_frm(Database &db, QWidget *parent) : QDialog(parent), m_db(db)
{
    setWindowTitle(QStringLiteral("一覧"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto *grid = new QGridLayout(this);
    grid->setHorizontalSpacing(twipsToPixels(15));
    grid->setVerticalSpacing(twipsToPixels(15));
    const int widths[] = {900, 2400, 3000, 3600};
    const QString headings[] = {QStringLiteral("ID  *1"), QStringLiteral("図番 *2"),
                                QStringLiteral("品名 *3"), QStringLiteral("備考 *4")};
    for (int c = 0; c < 4; ++c) {
        auto *heading = new QLabel(headings[c], this);
        heading->setFont(windowFont(ProportionalGothic, 9));
        grid->addWidget(heading, 0, c);
    }
    for (int r = 0; r < Rows; ++r) {
        hCode[r] = cell(this, QStringLiteral("hCode"), r, widths[0]);
        hKana[r] = cell(this, QStringLiteral("hKana"), r, widths[1]);
        hRyaku[r] = cell(this, QStringLiteral("hRyaku"), r, widths[2]);
        hNamae[r] = cell(this, QStringLiteral("hNamae"), r, widths[3]);
        grid->addWidget(hCode[r], r + 1, 0);
        grid->addWidget(hKana[r], r + 1, 1);
        grid->addWidget(hRyaku[r], r + 1, 2);
        grid->addWidget(hNamae[r], r + 1, 3);
        setRowColours(r, false);
    }

    kana = new QLineEdit(this);
    kana->setFont(windowFont(ProportionalGothic, 9));
    nameControl(*kana, QStringLiteral("kana"), QStringLiteral("検索"));
    // Every key of the list is handled in the search box.
    kana->installEventFilter(this);
    grid->addWidget(kana, Rows + 1, 0, 1, 2);

    auto *keysHint = new QLabel(QStringLiteral("↑、↓、PageUp、PageDown、リターンキー"), this);
    auto *searchHint = new QLabel(QStringLiteral("並び替え､検索 全て表示は '*'"), this);
    keysHint->setFont(windowFont(ProportionalGothic, 9));
    searchHint->setFont(windowFont(ProportionalGothic, 9));
    grid->addWidget(searchHint, Rows + 1, 2, 1, 2);
    grid->addWidget(keysHint, Rows + 2, 0, 1, 3);

    // Registering from the list has no action yet.
    newButton = new QPushButton(QStringLiteral("新規登録"), this);
    newButton->setAutoDefault(false);
    newButton->setFocusPolicy(Qt::NoFocus);
    nameControl(*newButton, QStringLiteral("Command"), newButton->text());
    grid->addWidget(newButton, Rows + 2, 3, Qt::AlignRight);
}

QString Help_frm::likeLiteral(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == u'*' || c == u'?' || c == u'#' || c == u'[') {
            out += u'[';
            out += c;
            out += u']';
        } else if (c == u'\'') {
            out += QStringLiteral("''");
        } else {
            out += c;
        }
    }
    return out;
}

void Help_frm::Init(const QString &aState, const QString &Sup1, const QString &Sup2)
{
    Q_UNUSED(Sup2);
    m_state = aState;
    m_searchText = Sup1;
    m_top = 0;
    m_cursor = 0;
    for (int r = 0; r < Rows; ++r)
        setRowColours(r, false);
    search();
}

void Help_frm::search()
{
    closeResult();
    const QString column = m_state == QLatin1String("HINNAMAE") ? QStringLiteral(" WHERE Str2 LIKE '*")
                                                                : QStringLiteral(" WHERE Str1 LIKE '*");
    m_result.emplace(m_db.openRecordset(QStringLiteral("SELECT * FROM DT") + column +
                                        likeLiteral(m_searchText) + QStringLiteral("*'")));
    // Only the keys the first page needs are read: a million matches open as fast as ten.
    if (!m_result->eof())
        m_result->moveFirst();
    setRowColours(m_cursor, false);
    m_top = 0;
    m_cursor = 0;
    setRowColours(m_cursor, true);
    paintPage();
}

bool Help_frm::moreThan(long long n) const
{
    return m_result && m_result->hasAtLeast(n + 1);
}

long long Help_frm::count() const
{
    return m_result ? m_result->recordCount() : 0;
}

void Help_frm::moveToTop()
{
    // Jumps straight to the row; the keys of the result are all in memory.
    m_result->moveFirst();
    m_result->move(m_top);
}

void Help_frm::paintPage()
{
    for (int r = 0; r < Rows; ++r) {
        hCode[r]->clear();
        hKana[r]->clear();
        hRyaku[r]->clear();
        hNamae[r]->clear();
    }
    if (!m_result)
        return;
    for (int r = 0; r < Rows && !m_result->eof(); ++r) {
        hCode[r]->setText(NullToZero(m_result->field(QStringLiteral("ID"))).toString());
        hKana[r]->setText(NullToEmpty(m_result->field(QStringLiteral("Str1"))).toString());
        hRyaku[r]->setText(NullToEmpty(m_result->field(QStringLiteral("Str2"))).toString());
        hNamae[r]->setText(NullToEmpty(m_result->field(QStringLiteral("Text1"))).toString());
        m_result->moveNext();
    }
}

void Help_frm::setRowColours(int row, bool highlighted)
{
    if (highlighted) {
        setColours(*hCode[row], Red, Qt::black);
        for (QLabel *label : {hKana[row], hRyaku[row], hNamae[row]})
            setColours(*label, Qt::white, Qt::black);
    } else {
        setColours(*hCode[row], Qt::white, Blue);
        for (QLabel *label : {hKana[row], hRyaku[row], hNamae[row]})
            setColours(*label, Qt::black, Qt::white);
    }
    for (QLabel *label : {hCode[row], hKana[row], hRyaku[row], hNamae[row]})
        label->update();
}

void Help_frm::closeResult()
{
    if (m_result) {
        m_result->close();
        m_result.reset();
    }
}

void Help_frm::keyUp()
{
    if (m_cursor > 0) {
        setRowColours(m_cursor, false);
        --m_cursor;
        setRowColours(m_cursor, true);
    } else if (m_top > 0) {
        --m_top;
        moveToTop();
        paintPage();
    }
}

void Help_frm::keyDown()
{
    if (m_cursor < Rows - 1) {
        setRowColours(m_cursor, false);
        ++m_cursor;
        setRowColours(m_cursor, true);
    } else if (moreThan(m_top + Rows - 1)) { // count − 14 > top
        ++m_top;
        moveToTop();
        paintPage();
    }
}

void Help_frm::keyPageUp()
{
    // An empty result has no first record to move to.
    if (!moreThan(0))
        return;
    m_top = m_top > Rows - 1 ? m_top - Rows : 0;
    moveToTop();
    paintPage();
}

void Help_frm::keyPageDown()
{
    if (!moreThan(0))
        return;
    if (moreThan(m_top + Rows - 1)) // top < count − 14
        m_top += Rows;
    else
        m_top = std::max(count() - (Rows - 1), 0LL); // near the end: every key is read by now
    moveToTop();
    paintPage();
}

void Help_frm::keyReturn()
{
    const QString code = hCode[m_cursor]->text();
    if (HasText(code)) {
        PickedValue = code.trimmed();
        Picked = true;
    } else {
        PickedValue.clear();
        Picked = false;
    }
    closeResult();
    accept();
}

void Help_frm::reject()
{
    // Escape and the close box both leave without a pick.
    Picked = false;
    closeResult();
    QDialog::reject();
}

int Help_frm::showModal()
{
    const QPointer<QWidget> caller = QApplication::activeWindow();
    kana->setFocus();
    const int result = exec();
    if (caller)
        caller->activateWindow();
    return result;
}

bool Help_frm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == kana && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Up:
            keyUp();
            return true;
        case Qt::Key_Down:
            keyDown();
            return true;
        case Qt::Key_PageUp:
            keyPageUp();
            return true;
        case Qt::Key_PageDown:
            keyPageDown();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            keyReturn();
            return true;
        case Qt::Key_Escape:
            reject();
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace zumen
