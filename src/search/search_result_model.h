#pragma once

#include "db/database.h"

#include <QAbstractTableModel>
#include <QTimer>

#include <cstdint>
#include <optional>
#include <vector>

namespace zumen {

// The records a search found, identifier and name, in the query's order. Only the rows a view
// asks for are read from the result, a block at a time, so that a search with a hundred
// thousand hits opens as fast as one with ten. A result whose rows SQLite must look for through
// the whole table is counted on in slices from the event loop: its first rows show at once and
// the rest are added as they are found, until the list holds them all.
class SearchResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit SearchResultModel(QObject *parent = nullptr);

    // Takes over an open result.
    void setResult(Recordset result);
    // The identifier of the record in a row (0-based); 0 when it cannot be read.
    std::int32_t id(int row) const;
    QString name(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Row {
        std::int32_t id = 0;
        QString name;
    };
    const Row &row(int r) const;
    // Reads keys for up to `rows` rows more than are listed; gives the rows known then and
    // whether the result may hold more.
    std::pair<int, bool> countOn(int rows);
    void countMore();

    // Reading a row moves the result's cursor; the view reads through const functions.
    mutable std::optional<Recordset> m_result;
    int m_count = 0;
    mutable int m_first = 0;
    mutable std::vector<Row> m_block;
    QTimer m_counting;
};

} // namespace zumen
