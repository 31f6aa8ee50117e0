#pragma once

#include <QWidget>

#include <array>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zumen {

struct Archive;

// Edits the scanner data folder (UserOP Code 11) and the file data folder (Code 12). What is
// stored here is read at start-up, so a change takes effect at the next start. The boxes show
// absolute folders; one inside the working folder is stored relative to it. The window
// deletes itself when closed; the caller centres and shows it, without waiting.
class Opt_frm : public QWidget {
    Q_OBJECT
public:
    explicit Opt_frm(Archive &archive, QWidget *parent = nullptr);

    // Puts the stored folders into the text boxes.
    void LoadOptions();
    // Stores both folders, trimmed, one blank for an empty box. dummyMode is not read.
    // Throws the engine's errors.
    void Register(const QString &dummyMode);

    // The records as CSV into the file (UTF-8 with BOM, or cp932), or from it; each says how
    // it went in an alert. An import with any bad row writes nothing and lists the rows.
    void exportTo(const QString &path, bool cp932);
    void importFrom(const QString &path);

signals:
    // Records were written: what the card shows may have changed.
    void recordsImported();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void save();
    // Asks where, then copies the working folder there while the desk keeps running.
    void backup();

    Archive &m_archive;
    QLabel *m_title;
    std::array<QLabel *, 2> m_label;
    std::array<QLineEdit *, 2> m_ebox;
    QLabel *m_recLabel;
    QLineEdit *m_recField;
    QPushButton *m_back;
    QPushButton *m_store;
    QPushButton *m_backup;
    QPushButton *m_export;
    QPushButton *m_import;
};

} // namespace zumen
