#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;
class QPushButton;

namespace zumen {

// Asks which working folder to open: one of the recent ones, another found with a folder
// dialog, or a new one made in a folder the user picks. Accepted with folder() set; a
// folder without QV.MDB is never given.
class FolderChooser : public QDialog {
public:
    explicit FolderChooser(const QStringList &recent, QWidget *parent = nullptr);

    QString folder() const { return m_folder; }

private:
    void openSelected();
    void browse();
    void makeNew();
    void refuse(const QString &text);

    QListWidget *m_list;
    QPushButton *m_open;
    QString m_folder;
};

} // namespace zumen
