#include "layout/desgn_frm.h"

#include "db/archive.h"
#include "dialogs/alert_frm.h"
#include "dialogs/confirm_frm.h"
#include "dialogs/guard.h"
#include "text/utility.h"
#include "widgets/combo_setting.h"
#include "widgets/ui.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace zumen {

namespace {

constexpr int LastItem = 8;    // the designer shows positions 0 to 8
constexpr int LayoutSize = 10; // positions written to the table
constexpr int MaxBytes = 20;   // label and format, in cp932

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool isSet(std::int16_t kind)
{
    return kind >= Kind::Number && kind <= Kind::Memo;
}

} // namespace

Layout NumberedLayout(const Layout &layout)
{
    Layout numbered = layout;
    std::array<std::int16_t, 4> counter{1, 1, 1, 1};
    for (int p = 0; p < LayoutSize; ++p) {
        LayoutItem &item = numbered[static_cast<std::size_t>(p)];
        if (!isSet(item.kind))
            break;
        item.eda = counter[static_cast<std::size_t>(item.kind - Kind::Number)]++;
    }
    return numbered;
}

Desgn_frm::Desgn_frm(Archive &archive, const QString &target, QWidget *parent)
    : QWidget(parent, Qt::Window), m_archive(archive), m_target(target)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("デザイン"));
    setFixedSize(twipsToPixels(5400), twipsToPixels(3000));
    setFont(windowFont(ProportionalGothic, 9));

    m_title = new QLabel(QStringLiteral("デザイン"), this);
    m_title->setGeometry(twipsRect(0, 0, 5400, 420));
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setFont(windowFont(ProportionalGothic, 12));
    setColours(*m_title, Qt::white, Teal);
    nameControl(*m_title, QStringLiteral("Title"));

    m_id = new QLabel(QStringLiteral("0"), this);
    m_id->setGeometry(twipsRect(240, 780, 600, 330));
    m_id->setAlignment(Qt::AlignCenter);
    setColours(*m_id, Qt::black, QColor(255, 255, 192));
    nameControl(*m_id, QStringLiteral("ID"));

    m_kindLabel = new QLabel(QStringLiteral("項目"), this);
    m_kindLabel->setGeometry(twipsRect(1080, 540, 1200, 240));
    m_cbox = new NamedComboBox(this);
    m_cbox->setGeometry(twipsRect(1080, 780, 1200, 330));
    m_cbox->installEventFilter(this);
    nameControl(*m_cbox, QStringLiteral("cbox"), m_kindLabel->text());

    const QString captions[] = {QStringLiteral("ラベル"), QStringLiteral("書式")};
    for (int i = 0; i < 2; ++i) {
        const int left = 2520 + i * 1440;
        m_boxLabel[i] = new QLabel(captions[i], this);
        m_boxLabel[i]->setGeometry(twipsRect(left, 540, 1320, 240));
        m_ebox[i] = new QLineEdit(this);
        m_ebox[i]->setGeometry(twipsRect(left, 780, 1320, 330));
        m_ebox[i]->setMaxLength(MaxBytes);
        m_ebox[i]->installEventFilter(this);
        nameControl(*m_ebox[i], QStringLiteral("ebox(%1)").arg(i), captions[i]);
    }
    // Labels are Japanese text; formats are patterns of ASCII symbols.
    m_ebox[0]->setAttribute(Qt::WA_InputMethodEnabled, true);
    m_ebox[1]->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_ebox[1]->setInputMethodHints(Qt::ImhLatinOnly);

    const QString buttons[] = {QStringLiteral("前へ"), QStringLiteral("次へ"), QStringLiteral("登録"),
                               QStringLiteral("取消")};
    for (int i = 0; i < 4; ++i) {
        m_command[i] = new QPushButton(buttons[i], this);
        m_command[i]->setGeometry(twipsRect(240 + i * 1260, 2160, 1140, 450));
        nameControl(*m_command[i], QStringLiteral("Command(%1)").arg(i), buttons[i]);
    }
    connect(m_command[0], &QPushButton::clicked, this, &Desgn_frm::previous);
    connect(m_command[1], &QPushButton::clicked, this, &Desgn_frm::next);
    connect(m_command[2], &QPushButton::clicked, this, &Desgn_frm::registerLayout);
    connect(m_command[3], &QPushButton::clicked, this, &QWidget::close);

    const bool main = m_target == QLatin1String("Main");
    m_loaded = main ? m_archive.mainLayout : m_archive.historyLayout;
    m_layout = m_loaded;
    m_title->setText(main ? QStringLiteral("デザイン メイン") : QStringLiteral("デザイン 履歴"));
    m_title->setAccessibleName(m_title->text());
    m_currentItem = 0;
    FillKindList(*m_cbox);
    ShowItem();
    m_cbox->setFocus();
}

void Desgn_frm::ShowItem()
{
    const LayoutItem &item = m_layout[static_cast<std::size_t>(m_currentItem)];
    m_id->setText(QString::number(m_currentItem + 1));
    m_id->setAccessibleName(m_id->text());
    SelectByItemData(*m_cbox, item.kind);
    m_ebox[0]->setText(item.label.trimmed());
    m_ebox[1]->setText(item.fmat.trimmed());
}

void Desgn_frm::StoreItem()
{
    LayoutItem &item = m_layout[static_cast<std::size_t>(m_currentItem)];
    item.kind = static_cast<std::int16_t>(SelectedItemData(*m_cbox));
    item.eda = 0;
    // The focus may still be in a box whose text is too long: store what leaving it would keep.
    item.label = ClipToMaxLength(*m_ebox[0]);
    item.fmat = ClipToMaxLength(*m_ebox[1]);
}

void Desgn_frm::WriteLayout()
{
    m_archive.layouts.write(m_target == QLatin1String("Main") ? LayoutStore::Table::Main
                                                              : LayoutStore::Table::History,
                            NumberedLayout(m_layout), &m_loaded);
}

QStringList Desgn_frm::ColumnChanges() const
{
    const Layout numbered = NumberedLayout(m_layout);
    const int common = std::min(ItemCount(m_loaded), ItemCount(numbered));
    QStringList changes;
    for (int p = 0; p < common; ++p) {
        const LayoutItem &before = m_loaded[static_cast<std::size_t>(p)];
        const LayoutItem &after = numbered[static_cast<std::size_t>(p)];
        if (before.column() == after.column())
            continue;
        QString name = before.label.trimmed();
        if (name.isEmpty())
            name = QStringLiteral("項目%1").arg(p + 1);
        changes << name + QStringLiteral(": ") + before.column() + QStringLiteral(" → ") + after.column();
    }
    return changes;
}

void Desgn_frm::previous()
{
    StoreItem();
    if (m_currentItem != 0) {
        --m_currentItem;
        ShowItem();
    }
}

void Desgn_frm::next()
{
    StoreItem();
    if (m_currentItem < LastItem) {
        ++m_currentItem;
        ShowItem();
    }
}

void Desgn_frm::registerLayout()
{
    StoreItem();
    // Values stay in the columns they were written to; an item that moves to another column
    // shows empty from the restart on, so the user must agree to that first.
    const QStringList changes = ColumnChanges();
    if (!changes.isEmpty()) {
        const QString message =
            QStringLiteral(
                "次の項目は読み書きする列が変わります。\n今の値は元の列に残り、表示されなくなります。\n") +
            changes.join(QLatin1Char('\n'));
        if (!ConfirmChoice(message, QStringLiteral("このまま登録する"), QStringLiteral("戻って直す")))
            return;
    }
    // On a failure the old layout is still whole and the designer stays open with the edits.
    if (!guarded([this] { WriteLayout(); }))
        return;
    ShowAlert(QStringLiteral("一旦、システムを終了します。") + QChar(13) +
              QStringLiteral("再起動してください。"));
    guarded([this] { m_archive.db.close(); });
    hide();
    emit endProgramRequested();
    close();
}

bool Desgn_frm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        for (QLineEdit *box : m_ebox) {
            if (watched == box)
                box->setText(ClipToMaxLength(*box));
        }
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key == Qt::Key_Escape && (watched == m_cbox || watched == m_ebox[0] || watched == m_ebox[1])) {
        close();
        return true;
    }
    if (watched == m_cbox) {
        if (key == Qt::Key_Down || isEnter(key)) {
            SelectAllText(*m_ebox[0]);
            return true;
        }
    } else if (watched == m_ebox[0]) {
        if (key == Qt::Key_Up) {
            m_cbox->setFocus();
            return true;
        }
        if (key == Qt::Key_Down || isEnter(key)) {
            SelectAllText(*m_ebox[1]);
            return true;
        }
    } else if (watched == m_ebox[1]) {
        if (key == Qt::Key_Up) {
            SelectAllText(*m_ebox[0]);
            return true;
        }
        if (key == Qt::Key_Down || isEnter(key)) {
            StoreItem();
            if (m_currentItem < LastItem) {
                ++m_currentItem;
                ShowItem();
                m_cbox->setFocus();
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void OpenDesigner(Archive &archive, QWidget &owner, const QString &target,
                  const std::function<void()> &endProgram)
{
    // A child window of the owner: it stays above it and goes with it.
    Desgn_frm *designer = owner.findChild<Desgn_frm *>();
    if (!designer) {
        designer = new Desgn_frm(archive, target, &owner);
        QObject::connect(designer, &Desgn_frm::endProgramRequested, designer, endProgram);
    }
    CenterForm(*designer);
    designer->show();
    designer->raise();
    designer->activateWindow();
    // The press that opened it goes on to activate the card; take the keyboard back after it.
    QTimer::singleShot(0, designer, [designer] {
        if (QApplication::activeModalWidget())
            return;
        designer->raise();
        designer->activateWindow();
    });
}

} // namespace zumen
