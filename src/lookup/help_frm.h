#pragma once

#include "db/database.h"

#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zumen {

// The lookup list: the records whose drawing number (or product name) contains a text,
// fifteen rows at a time, picked with the keyboard from the search box. It hides itself
// when done and is reused by the next Init.
class Help_frm : public QDialog {
    Q_OBJECT
public:
    static constexpr int Rows = 15;

    explicit Help_frm(Database &db, QWidget *parent = nullptr);

    // aState is "ZUBAN" or "HINNAMAE"; Sup2 is not used.
    void Init(const QString &aState, const QString &Sup1, const QString &Sup2);
    // Shows the list modally with the keyboard in the search box.
    int showModal();

    // The pattern that matches text literally inside a LIKE '*…*' (quotes doubled, wildcards
    // bracketed), so that a value can never change the query.
    static QString likeLiteral(const QString &text);

    QString PickedValue;
    bool Picked = false;

    std::array<QLabel *, Rows> hCode{};
    std::array<QLabel *, Rows> hKana{};
    std::array<QLabel *, Rows> hRyaku{};
    std::array<QLabel *, Rows> hNamae{};
    QLineEdit *kana = nullptr;
    QPushButton *newButton = nullptr;

    // For tests: the list's position.
    long long top() const { return m_top; }
    int cursor() const { return m_cursor; }
    // The number of matching records (reads every key: for tests and the end of the list).
    long long count() const;

    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Whether the result has more than n records, reading only as many keys as that takes.
    bool moreThan(long long n) const;
    void search();
    void moveToTop();
    void paintPage();
    void setRowColours(int row, bool highlighted);
    void closeResult();
    void keyUp();
    void keyDown();
    void keyPageUp();
    void keyPageDown();
    void keyReturn();

    Database &m_db;
    QString m_state;
    QString m_searchText;
    std::optional<Recordset> m_result;
    long long m_top = 0;
    int m_cursor = 0;
};

} // namespace zumen
