#pragma once

#include "db/layouts.h"

#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zumen {

struct Archive;

// Edits a copy of the data-record layout (target "Main") or of the history layout (any other
// target) item by item. "登録" rewrites Desgn or DesgnHS, closes the database and asks for
// the program to end, since the cards read the layouts only at start-up. Not modal; deletes
// itself when closed.
class Desgn_frm : public QWidget {
    Q_OBJECT
public:
    Desgn_frm(Archive &archive, const QString &target, QWidget *parent = nullptr);

    // Shows the item at CurrentItem in the kind list and the two boxes.
    void ShowItem();
    // Takes the kind list and the two boxes into the working copy at CurrentItem.
    void StoreItem();
    // Replaces the target table's rows by the working copy, numbering the items per kind.
    // All or nothing: on a failure the old rows stay and the engine's error is thrown.
    void WriteLayout();

    // For every item of the loaded layout that the working copy would read from another
    // column: "label: old column → new column".
    QStringList ColumnChanges() const;

    QString Target() const { return m_target; }
    int CurrentItem() const { return m_currentItem; }
    const Layout &WorkingLayout() const { return m_layout; }

signals:
    // The new layout is stored and the database closed: the program must end now.
    void endProgramRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void previous();
    void next();
    void registerLayout();
    Archive &m_archive;
    QString m_target;
    Layout m_loaded;
    Layout m_layout;
    std::int16_t m_currentItem = 0;

    QLabel *m_title;
    QLabel *m_id;
    QLabel *m_kindLabel;
    QComboBox *m_cbox;
    std::array<QLabel *, 2> m_boxLabel;
    std::array<QLineEdit *, 2> m_ebox;
    std::array<QPushButton *, 4> m_command;
};

// The layouts as the writer numbers them: each item's eda counts the items of its kind from 1,
// in layout order, up to the first item that is not set.
Layout NumberedLayout(const Layout &layout);

// Opens the designer for target ("Main" or "History") over owner (the card), or brings the
// open one forward with its own target. endProgram runs when a saved layout ends the program.
void OpenDesigner(Archive &archive, QWidget &owner, const QString &target,
                  const std::function<void()> &endProgram);

} // namespace zumen
