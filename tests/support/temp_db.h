#pragma once

#include "db/database.h"

#include <QTemporaryDir>

// A fresh folder holding a QV.MDB with every table and no rows.
class TempDb {
public:
    TempDb();
    QString path() const { return m_dir.filePath(QStringLiteral("QV.MDB")); }
    QString folder() const { return m_dir.path(); }
    zumen::Database &db() { return m_db; }
    // Runs SQLite text: for setting up rows a test needs.
    void exec(const QString &sql) { m_db.executeNative(sql); }

private:
    QTemporaryDir m_dir;
    zumen::Database m_db;
};
