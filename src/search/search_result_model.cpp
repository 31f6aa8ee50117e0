#include "search/search_result_model.h"

#include "db/numbered_error.h"
#include "text/utility.h"

#include <algorithm>
#include <limits>

namespace zumen {
namespace {

// About three screens of rows: scrolling reads a block now and then, not a row per paint.
constexpr int BlockRows = 128;

} // namespace

void SearchResultModel::setResult(Recordset result)
{
    beginResetModel();
    m_count = static_cast<int>(std::min<long long>(result.recordCount(), std::numeric_limits<int>::max()));
    m_result.emplace(std::move(result));
    m_block.clear();
    m_first = 0;
    endResetModel();
}

std::int32_t SearchResultModel::id(int row) const
{
    return row >= 0 && row < m_count ? this->row(row).id : 0;
}

QString SearchResultModel::name(int row) const
{
    return row >= 0 && row < m_count ? this->row(row).name : QString();
}

const SearchResultModel::Row &SearchResultModel::row(int r) const
{
    if (r < m_first || r >= m_first + static_cast<int>(m_block.size())) {
        m_block.clear();
        m_first = r - r % BlockRows;
        const int end = std::min(m_count, m_first + BlockRows);
        // A record gone from under the list, or a closed file, shows as an empty row; the
        // view must never see an exception.
        try {
            m_result->moveFirst();
            m_result->move(m_first);
            for (int i = m_first; i < end; ++i) {
                Row found;
                try {
                    found.id = static_cast<std::int32_t>(
                        NullToZero(m_result->field(QStringLiteral("ID"))).toInteger());
                    found.name = NullToEmpty(m_result->field(QStringLiteral("Namae"))).toString();
                } catch (const NumberedError &) {
                }
                m_block.push_back(found);
                m_result->moveNext();
            }
        } catch (const NumberedError &) {
        }
        m_block.resize(static_cast<std::size_t>(end - m_first));
    }
    return m_block[static_cast<std::size_t>(r - m_first)];
}

int SearchResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_count;
}

int SearchResultModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant SearchResultModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_count)
        return {};
    return index.column() == 0 ? QVariant(QString::number(id(index.row()))) : QVariant(name(index.row()));
}

QVariant SearchResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    return section == 0 ? QStringLiteral("番号") : QStringLiteral("名前");
}

} // namespace zumen
