#pragma once

#include <QDialog>
#include <QString>

#include <array>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace zumen {

// Chooses an image file below the file data folder: a drive (mount point) list, a folder
// list and a list of the folder's .jpg, .tif, .bmp, .png and .pdf files. Hidden, not deleted,
// after use, so the next import opens where the user left it.
class GetDir_frm : public QDialog {
    Q_OBJECT
public:
    // fileFolder: the file data folder, where the lists open and below which a file must lie.
    explicit GetDir_frm(const QString &fileFolder, QWidget *parent = nullptr);

    // Results, valid after the window hid itself.
    bool ImportAccepted = false;
    QString ImportFolder; // relative to the file data folder, "" for the folder itself
    QString ImportFile;

    // The folder whose files the file list shows.
    QString path() const { return m_path; }
    void setPath(const QString &folder);
    void setDrive(const QString &mountPoint);
    // Shows the window modally; returns when it hid itself.
    int showModal();
    // Esc and the close box mean "取り消し".
    void reject() override;

    QComboBox *Drive1 = nullptr;
    QListWidget *Dir1 = nullptr;
    QListWidget *File1 = nullptr;
    QLabel *Label1 = nullptr;
    // The folder the file list shows, above the lists.
    QLabel *FolderPath = nullptr;
    std::array<QPushButton *, 2> Command{};

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void takeIn();
    void cancel();

    QString m_root;
    QString m_path;
};

} // namespace zumen
