#include "widgets/combo_setting.h"

#include <QAccessibleWidget>
#include <QStringList>

#include <array>
#include <utility>

namespace zumen {
namespace {

class NamedComboBoxAccessible : public QAccessibleWidget {
public:
    explicit NamedComboBoxAccessible(QWidget *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Value ? box()->currentText() : QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override { return {showMenuAction()}; }
    void doAction(const QString &name) override
    {
        if (name == showMenuAction())
            box()->showPopup();
    }

private:
    QComboBox *box() const { return static_cast<QComboBox *>(widget()); }
};

QAccessibleInterface *namedComboBoxFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String(NamedComboBox::staticMetaObject.className()))
        return new NamedComboBoxAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

NamedComboBox::NamedComboBox(QWidget *parent) : QComboBox(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(namedComboBoxFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

namespace {

std::int32_t itemNumber(const QComboBox &list, int index)
{
    return list.itemData(index, Qt::UserRole).toInt();
}

// The entries are selected before they are numbered, so a selection handler running meanwhile sees 0.
void fillNumberedAfterSelecting(QComboBox &list, const QStringList &texts)
{
    ClearList(list);
    list.addItems(texts);
    list.setCurrentIndex(0);
    NumberItems(list);
}

} // namespace

void FillKindList(QComboBox &list)
{
    fillNumberedAfterSelecting(list,
                               {QStringLiteral("未設定"), QStringLiteral("数値"), QStringLiteral("文字"),
                                QStringLiteral("日付"), QStringLiteral("メモ")});
}

void FillZoomList(QComboBox &list)
{
    static const std::array<std::pair<const char16_t *, std::int32_t>, 7> zooms = {{
        {u"２５%", 25},
        {u"５０%", 50},
        {u"７５%", 75},
        {u"１００%", 100},
        {u"１５０%", 150},
        {u"２００%", 200},
        {u"全体", FitZoom},
    }};
    ClearList(list);
    for (const auto &[text, percent] : zooms)
        AddListItem(list, QString::fromUtf16(text), percent);
    list.setCurrentIndex(3);
}

void FillOperatorList(QComboBox &list)
{
    fillNumberedAfterSelecting(list, {QStringLiteral("="), QStringLiteral(">="), QStringLiteral("<="),
                                      QStringLiteral(">"), QStringLiteral("<"), QStringLiteral("含む"),
                                      QStringLiteral("部分一致")});
}

void ClearList(QComboBox &list)
{
    for (int n = list.count(); n > 0; --n)
        list.removeItem(0);
}

void NumberItems(QComboBox &list)
{
    for (int i = 0; i < list.count(); ++i)
        list.setItemData(i, i + 1, Qt::UserRole);
}

void AddListItem(QComboBox &list, const QString &text, std::int32_t number)
{
    list.addItem(text, number);
}

void SelectByItemData(QComboBox &list, std::int32_t number)
{
    for (int i = 0; i < list.count(); ++i) {
        if (itemNumber(list, i) == number) {
            list.setCurrentIndex(i);
            return;
        }
    }
    list.setCurrentIndex(-1);
}

std::int32_t SelectedItemData(const QComboBox &list)
{
    const int index = list.currentIndex();
    return index < 0 ? 0 : itemNumber(list, index);
}

} // namespace zumen
