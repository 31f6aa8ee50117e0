#pragma once

#include <QDir>
#include <QString>

// The program works in its current folder (QV.MDB, the placeholder page, request files):
// a test moves into its own folder for its length and back afterwards.
class InFolder {
public:
    explicit InFolder(const QString &folder) : m_before(QDir::currentPath()) { QDir::setCurrent(folder); }
    ~InFolder() { QDir::setCurrent(m_before); }
    InFolder(const InFolder &) = delete;
    InFolder &operator=(const InFolder &) = delete;

private:
    QString m_before;
};
