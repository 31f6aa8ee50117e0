#pragma once

#include <QComboBox>
#include <QString>

#include <cstdint>

namespace zumen {

// A drop-down list that a screen reader announces by its accessible name (its caption), with
// the entry shown as its value. Qt's own interface on Linux speaks the entry as the name, so
// a list would be read as "=" or "１００%" rather than as what it is.
class NamedComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit NamedComboBox(QWidget *parent = nullptr);
};

// Fixed choice lists. Each entry carries a number (item data, Qt::UserRole) that the program stores
// and compares instead of the text; an entry without one counts as 0.

// 未設定 数値 文字 日付 メモ numbered 1-5 (the item kind codes); index 0 selected.
void FillKindList(QComboBox &list);
// ２５% ５０% ７５% １００% １５０% ２００% numbered by their percent, then 全体 (the whole page
// in the window) numbered FitZoom; １００% selected.
void FillZoomList(QComboBox &list);
// 0, so that a zoom choice never stored (a missing option reads as 0) means the whole page.
constexpr std::int32_t FitZoom = 0;
// = >= <= > < 含む 部分一致 numbered 1-7; index 0 selected. 部分一致 (the text anywhere, widths
// folded) is this program's addition after 含む (which matches a text item's beginning).
void FillOperatorList(QComboBox &list);

void ClearList(QComboBox &list);
// Numbers each entry with its index + 1.
void NumberItems(QComboBox &list);
void AddListItem(QComboBox &list, const QString &text, std::int32_t number);
// Selects the first entry with that number, or nothing (index -1) when none has it.
void SelectByItemData(QComboBox &list, std::int32_t number);
// The number of the selected entry; 0 when nothing is selected.
std::int32_t SelectedItemData(const QComboBox &list);

} // namespace zumen
