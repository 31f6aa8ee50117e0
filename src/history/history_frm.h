#pragma once

#include "card/entry_card.h"

#include <array>
#include <cstdint>

class QPushButton;

namespace zumen {

// The history card: the numbered history entries of one record, one at a time, with the
// record card's item grid and entry walk bound to the history entries and their layout.
class History_frm : public EntryCard {
    Q_OBJECT
public:
    explicit History_frm(Archive &archive);

    // Shows entry 1 of the record (or only its identifier when it has none).
    void Init(std::int32_t aID);
    void GoPrevious();
    void GoNext();
    void AddEntry();
    void StartEdit();

    QLabel *Page = nullptr;
    std::array<QPushButton *, 5> Command{};

protected:
    // Inserts or updates the entry the session names.
    void save() override;

private:
    void step(int by);
    void showNumbers();

    // The entry 前へ/次へ step from. After 追加 the session names the new entry while the
    // steps go on from the entry shown before it.
    std::int16_t m_browsedEntry = 1;
};

} // namespace zumen
