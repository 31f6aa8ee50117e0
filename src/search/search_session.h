#pragma once

#include <QObject>

#include <cstdint>
#include <optional>

namespace zumen {

class Recordset;
class SrchList_frm;

// The result of the last search while its list is open. The card's 前へ/次へ walk the list's
// rows through it instead of the whole table; closing the list ends the session.
class SearchSession : public QObject {
    Q_OBJECT
public:
    SearchSession();
    ~SearchSession() override;
    SearchSession(const SearchSession &) = delete;
    SearchSession &operator=(const SearchSession &) = delete;

    // Whether a result list is open.
    bool active() const { return m_list != nullptr; }
    // Makes the previous or next row current (the list's selection follows) and gives its
    // record; none, and nothing changes, at the first or last row or with no list open.
    std::optional<std::int32_t> step(bool next);
    // Shows what a search found: a new list centred on the screen, or the open one refilled;
    // its first row is current and it comes forward.
    void show(Recordset found);
    // The open list; null when none.
    SrchList_frm *list() const { return m_list; }
    // Closes the list, ending the session.
    void end();

signals:
    // The user asked to see a row's record (double-click or Enter in the list).
    void recordRequested(std::int32_t id);

private:
    SrchList_frm *m_list = nullptr;
};

} // namespace zumen
