#pragma once

#include <QDir>
#include <QString>

// The program works in its current folder: a test moves into its own and back afterwards.
class InFolder {
public:
    explicit InFolder(const QString &folder) : m_before(QDir::currentPath()) { QDir::setCurrent(folder); }
    ~InFolder() { QDir::setCurrent(m_before); }
    InFolder(const InFolder &) = delete;
    InFolder &operator=(const InFolder &) = delete;

private:
    QString m_before;
};
