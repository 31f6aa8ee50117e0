#include "search/srch_frm.h"

#include "db/archive.h"
#include "dialogs/alert_frm.h"
#include "dialogs/guard.h"
#include "search/search_session.h"
#include "text/utility.h"
#include "widgets/combo_setting.h"
#include "widgets/flex_grid.h"
#include "widgets/ui.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <cmath>

namespace zumen {
namespace {

// The search window exists once; opening it again while it is open keeps its conditions.
QPointer<Srch_frm> openWindow;

QString noItemsText()
{
    return QStringLiteral("検索できる項目がありません。項目の設定を確かめてください。");
}

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// A value between single quotes, where a quote stands doubled.
QString quoted(const QString &value)
{
    QString text = value;
    return text.replace(u'\'', QStringLiteral("''"));
}

// A value as the fixed part of a LIKE pattern: the pattern characters stand in brackets, so
// that "含む" looks for exactly the typed text.
QString likeLiteral(const QString &value)
{
    QString pattern;
    for (const QChar c : value) {
        if (c == u'*' || c == u'?' || c == u'#' || c == u'[')
            pattern += QStringLiteral("[%1]").arg(c);
        else
            pattern += c;
    }
    return quoted(pattern);
}

bool isNumber(const QString &text)
{
    bool ok = false;
    const double number = text.toDouble(&ok);
    return ok && std::isfinite(number);
}

} // namespace

Srch_frm::Srch_frm(Archive &archive, SearchSession &session)
    : QWidget(nullptr), m_archive(archive), m_session(session)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("検索"));
    nameControl(*this, QStringLiteral("Srch_frm"), QStringLiteral("検索"));
    setFixedSize(twipsToPixels(7800), twipsToPixels(5040));
    setFont(windowFont(ProportionalGothic, 9));

    m_title = new QLabel(QStringLiteral("検 索"), this);
    m_title->setFont(windowFont(ProportionalGothic, 14));
    m_title->setGeometry(twipsRect(240, 120, 2400, 480));
    nameControl(*m_title, QStringLiteral("Title"), m_title->text());

    const QString captions[] = {QStringLiteral("項目"), QStringLiteral("条件"), QStringLiteral("値")};
    const int lefts[] = {240, 2400, 3600};
    const int widths[] = {2040, 1080, 2880};
    for (std::size_t i = 0; i < 3; ++i) {
        m_label[i] = new QLabel(captions[i], this);
        m_label[i]->setGeometry(twipsRect(lefts[i], 720, widths[i], 270));
        nameControl(*m_label[i], QStringLiteral("Label(%1)").arg(i), captions[i]);
    }
    for (std::size_t i = 0; i < 2; ++i) {
        cbox[i] = new NamedComboBox(this);
        cbox[i]->setGeometry(twipsRect(lefts[i], 1020, widths[i], 330));
        nameControl(*cbox[i], QStringLiteral("cbox(%1)").arg(i), captions[i]);
        cbox[i]->installEventFilter(this);
    }
    ebox = new QLineEdit(this);
    ebox->setGeometry(twipsRect(lefts[2], 1020, widths[2], 330));
    nameControl(*ebox, QStringLiteral("ebox"), captions[2]);
    ebox->installEventFilter(this);

    List = new FlexGrid(this);
    List->setColumnCount(3);
    List->setGeometry(twipsRect(240, 1500, 6240, 3300));
    nameControl(*List, QStringLiteral("List"), QStringLiteral("検索条件"));

    auto button = [this](const QString &caption, const QString &name, int top) {
        auto *b = new QPushButton(caption, this);
        b->setGeometry(twipsRect(6600, top, 1080, 375));
        b->setAutoDefault(false);
        nameControl(*b, name, caption);
        return b;
    };
    Append = button(QStringLiteral("追加"), QStringLiteral("Append"), 1000);
    Clear = button(QStringLiteral("条件クリア"), QStringLiteral("Clear"), 1500);
    Command[0] = button(QStringLiteral("実行"), QStringLiteral("Command(0)"), 3900);
    Command[1] = button(QStringLiteral("取消"), QStringLiteral("Command(1)"), 4425);
    connect(Append, &QPushButton::clicked, this, &Srch_frm::AddCondition);
    connect(Clear, &QPushButton::clicked, this, &Srch_frm::clearConditions);
    connect(Command[0], &QPushButton::clicked, this, [this] { guarded([this] { RunSearch(); }); });
    connect(Command[1], &QPushButton::clicked, this, &QWidget::close);

    // The window reads the archive's database: it goes when the desk that holds both goes.
    connect(&m_session, &QObject::destroyed, this, [this] { delete this; });

    List->setFontSize(12);
    for (int c = 0; c < 3; ++c)
        List->setTextMatrix(0, c, captions[c]);
    List->setColWidthTwips(0, 2000);
    // Wide enough for 部分一致, the longest operator; the value column gives up the difference.
    List->setColWidthTwips(1, 1200);
    List->setColWidthTwips(2, 2600);
    ClearList(*cbox[0]);
    for (int k = 0; k < ItemCount(m_archive.mainLayout); ++k)
        AddListItem(*cbox[0], m_archive.mainLayout[static_cast<std::size_t>(k)].label, k + 1);
    cbox[0]->setCurrentIndex(0);
    FillOperatorList(*cbox[1]);
    ConditionCount = 0;
}

bool Srch_frm::hasItems() const
{
    return cbox[0]->count() > 0;
}

void Srch_frm::AddCondition()
{
    if (!hasItems()) {
        ShowAlert(noItemsText());
        return;
    }
    if (ConditionCount >= MaxConditions) {
        ShowAlert(QStringLiteral("検索条件は %1 個までです。").arg(MaxConditions));
        return;
    }
    const int row = ConditionCount + 1;
    List->setRows(row + 1);
    List->setTextMatrix(row, 0, cbox[0]->currentText());
    List->setTextMatrix(row, 1, cbox[1]->currentText());
    List->setTextMatrix(row, 2, ebox->text().trimmed());
    ConditionItems[static_cast<std::size_t>(ConditionCount)] =
        static_cast<std::int16_t>(cbox[0]->currentIndex());
    ++ConditionCount;
    // The next condition is most often the other end of a range on the next item.
    cbox[0]->setCurrentIndex(cbox[0]->count() > 1 ? 1 : 0);
    cbox[1]->setCurrentIndex(1);
    ebox->clear();
    cbox[0]->setFocus();
}

void Srch_frm::clearConditions()
{
    List->setRows(1);
    ConditionCount = 0;
}

QString SearchQueryText(const QList<SearchCondition> &conditions, QString &refusal)
{
    if (conditions.isEmpty()) {
        refusal = QStringLiteral("検索条件を追加してから実行してください。");
        return {};
    }
    QString sql = QStringLiteral("SELECT * FROM DT WHERE ");
    for (qsizetype i = 0; i < conditions.size(); ++i) {
        const SearchCondition &c = conditions[i];
        const QString &op = c.op;
        const LayoutItem &item = c.item;
        // A number typed in full-width digits is the same number as in ASCII ones.
        const QString value = (item.kind == Kind::Number ? AsciiForms(c.value) : c.value).trimmed();
        const QString n = NumText(item.eda);
        const bool contains = op == QStringLiteral("含む");
        const bool partial = op == QStringLiteral("部分一致");
        // Values the engine cannot read are refused here, naming the condition, before anything runs.
        const QString condition = QStringLiteral("条件「%1」: ")
                                      .arg(QStringLiteral("%1 %2 %3").arg(c.caption, op, value).trimmed());
        if ((contains || partial) && (item.kind == Kind::Number || item.kind == Kind::Date)) {
            refusal = condition + QStringLiteral("「%1」は文字とメモの項目にだけ使えます。").arg(op);
            return {};
        }
        if (item.kind == Kind::Number && !isNumber(value)) {
            refusal = condition + QStringLiteral("値が数値ではありません。");
            return {};
        }
        if (item.kind == Kind::Date && !ParseDate(value)) {
            refusal = condition + QStringLiteral("値が日付ではありません。");
            return {};
        }
        if (i > 0)
            sql += QStringLiteral(" AND ");
        // 部分一致 finds the text anywhere, half-width and full-width forms alike, through the
        // engine's text index; its value is one literal, whatever characters it holds.
        if (partial) {
            sql += QStringLiteral("PartialMatch(%1%2, '%3') ")
                       .arg(item.kind == Kind::Text ? QStringLiteral("Str") : QStringLiteral("Text"), n,
                            quoted(value));
            continue;
        }
        switch (item.kind) {
        case Kind::Number:
            sql += QStringLiteral("Val") + n + u' ' + op + u' ' + value + u' ';
            break;
        case Kind::Text:
            sql += contains ? QStringLiteral("Str") + n + QStringLiteral(" like '") + likeLiteral(value) +
                                  QStringLiteral("*' ")
                            : QStringLiteral("Str") + n + QStringLiteral(" ='") + quoted(value) +
                                  QStringLiteral("' ");
            break;
        case Kind::Date:
            sql +=
                QStringLiteral("Date") + n + u' ' + op + QStringLiteral(" #") + value + QStringLiteral("# ");
            break;
        case Kind::Memo:
            // Memos are searched for the text anywhere in them.
            sql += contains ? QStringLiteral("Text") + n + QStringLiteral(" LIKE '*") + likeLiteral(value) +
                                  QStringLiteral("*' ")
                            : QStringLiteral("Text") + n + QStringLiteral(" ='") + quoted(value) +
                                  QStringLiteral("' ");
            break;
        }
    }
    return sql;
}

QString Srch_frm::queryText(QString &refusal) const
{
    if (!hasItems()) {
        refusal = noItemsText();
        return {};
    }
    QList<SearchCondition> conditions;
    for (int i = 0; i < ConditionCount; ++i) {
        const auto position = static_cast<std::size_t>(ConditionItems[static_cast<std::size_t>(i)]);
        conditions.append({m_archive.mainLayout[position], List->textMatrix(i + 1, 0),
                           List->textMatrix(i + 1, 1), List->textMatrix(i + 1, 2)});
    }
    return SearchQueryText(conditions, refusal);
}

void Srch_frm::RunSearch()
{
    QString refusal;
    const QString sql = queryText(refusal);
    if (sql.isEmpty()) {
        ShowAlert(refusal);
        return;
    }
    Recordset found = m_archive.db.openRecordset(sql);
    if (found.eof()) {
        found.close();
        ShowAlert(QStringLiteral("対象がありません。"));
        return;
    }
    m_session.show(std::move(found));
}

bool Srch_frm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    const bool enter = isEnter(key);
    const bool up = key == Qt::Key_Up;
    if (key == Qt::Key_Escape) {
        close();
        return true;
    }
    if (watched == cbox[0]) {
        if (enter)
            cbox[1]->setFocus();
        return enter || up;
    }
    if (watched == cbox[1]) {
        if (enter)
            SelectAllText(*ebox);
        else if (up)
            cbox[0]->setFocus();
        return enter || up;
    }
    if (watched == ebox) {
        if (enter)
            AddCondition();
        else if (up)
            cbox[1]->setFocus();
        return enter || up;
    }
    return QWidget::eventFilter(watched, event);
}

void Srch_frm::closeEvent(QCloseEvent *event)
{
    // Closed is gone, even before the deletion has run: opening again starts empty.
    if (openWindow == this)
        openWindow = nullptr;
    QWidget::closeEvent(event);
}

void OpenSearch(Archive &archive, SearchSession &session)
{
    if (!openWindow)
        openWindow = new Srch_frm(archive, session);
    Srch_frm &search = *openWindow;
    CenterForm(search);
    search.show();
    search.raise();
    search.activateWindow();
    if (!search.hasItems()) {
        ShowAlert(noItemsText());
        // The alert hands the keyboard back to the card, from where it was called.
        search.activateWindow();
    }
}

} // namespace zumen
