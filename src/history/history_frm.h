#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zumen {

struct Desk;
class FlexGrid;
class ItemEntry;

// The history card: the numbered history entries of one record, one at a time, with the
// record card's item grid and entry walk bound to Hstry and the history layout.
class History_frm : public QWidget {
    Q_OBJECT
public:
    explicit History_frm(Desk &desk);

    // Shows entry 1 of the record (or only its identifier when it has none).
    void Init(std::int32_t aID);
    void GoPrevious();
    void GoNext();
    void AddEntry();
    void StartEdit();
    void ClearCard();
    void NewEntryNumber();
    // Inserts or updates the entry that the ID and Page labels name.
    void SaveEntry();
    // Stores the placement and grid widths (rows 5, 6, 7), as the end of the program does.
    void Unload();

    std::int32_t RecordID = 0;
    std::int16_t CurrentPage = 0;
    std::int16_t CurrentItem = 0;
    QString Mode;

    QLabel *ID = nullptr;
    QLabel *Page = nullptr;
    QLabel *Label0 = nullptr;
    QLineEdit *eNamae = nullptr;
    FlexGrid *List = nullptr;
    QLabel *Koumoku = nullptr;
    QLineEdit *eNaiyou = nullptr;
    std::array<QPushButton *, 5> Command{};

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void step(int by);
    QString entrySql(const QString &id, const QString &page) const;

    Desk &m_desk;
    ItemEntry *m_entry = nullptr;
    bool m_unloaded = false;
};

} // namespace zumen
