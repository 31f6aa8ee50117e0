#pragma once

#include "db/layouts.h"

#include <QList>
#include <QWidget>

#include <array>
#include <cstdint>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zumen {

struct Archive;
class FlexGrid;
class SearchSession;

// One row of the search: the item (as the layout has it), the operator as the list shows it
// ("=", "<", "含む", "部分一致" …), the value as typed, and the item's caption as the grid shows it.
struct SearchCondition {
    LayoutItem item;
    QString caption;
    QString op;
    QString value;
};

// The query in the file engine's dialect for conditions that must all hold; empty, with the
// reason for the user in refusal (naming the condition), when one cannot be run as it stands.
QString SearchQueryText(const QList<SearchCondition> &conditions, QString &refusal);

// The search: conditions on the items of the record layout, one per row of the grid, all of
// which must hold. What it finds goes to the search session's result list. The conditions
// live only while the window is open: it deletes itself when closed.
class Srch_frm : public QWidget {
    Q_OBJECT
public:
    static constexpr int MaxConditions = 11;

    Srch_frm(Archive &archive, SearchSession &session);

    // Moves the condition being entered into the grid ("追加", Enter in the value box).
    void AddCondition();
    // Runs the listed conditions and hands what they find to the result list ("実行").
    // Throws the engine's errors.
    void RunSearch();
    // The query for the listed conditions; empty, with the reason for the user in refusal,
    // when they cannot be run as they stand.
    QString queryText(QString &refusal) const;
    // False for a layout without a first item: there is nothing to search on.
    bool hasItems() const;

    std::int16_t ConditionCount = 0;
    // The layout position of each condition's item; operators and values live in the grid.
    std::array<std::int16_t, MaxConditions> ConditionItems{};

    std::array<QComboBox *, 2> cbox{};
    QLineEdit *ebox = nullptr;
    QPushButton *Append = nullptr;
    QPushButton *Clear = nullptr;
    std::array<QPushButton *, 2> Command{};
    FlexGrid *List = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void clearConditions();

    Archive &m_archive;
    SearchSession &m_session;
    QLabel *m_title;
    std::array<QLabel *, 3> m_label{};
};

// The card's "検索": opens the search window centred, or brings the open one forward with
// its conditions kept. Does not wait for it.
void OpenSearch(Archive &archive, SearchSession &session);

} // namespace zumen
