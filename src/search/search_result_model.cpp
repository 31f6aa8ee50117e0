#include "search/search_result_model.h"

#include "db/numbered_error.h"
#include "text/utility.h"

#include <algorithm>
#include <limits>

namespace zumen {
namespace {

// About three screens of rows: scrolling reads a block now and then, not a row per paint.
constexpr int BlockRows = 128;
// Rows counted before the list shows, and in each slice after: a slice of a scan that finds
// one row in ten reads about 40,000 records, some milliseconds.
constexpr int FirstRows = 2 * BlockRows;
constexpr int SliceRows = 4096;

} // namespace

SearchResultModel::SearchResultModel(QObject *parent) : QAbstractTableModel(parent)
{
    m_counting.setSingleShot(true);
    m_counting.setInterval(0);
    connect(&m_counting, &QTimer::timeout, this, &SearchResultModel::countMore);
}

void SearchResultModel::setResult(Recordset result)
{
    m_counting.stop();
    beginResetModel();
    m_result.emplace(std::move(result));
    m_count = 0;
    m_block.clear();
    m_first = 0;
    const auto [known, more] = countOn(FirstRows);
    m_count = known;
    endResetModel();
    if (more)
        m_counting.start();
}

std::pair<int, bool> SearchResultModel::countOn(int rows)
{
    constexpr long long most = std::numeric_limits<int>::max();
    try {
        // Keys an index gave are all read already: the count costs nothing more.
        if (const std::optional<long long> all = m_result->knownCount())
            return {static_cast<int>(std::min(*all, most)), false};
        const long long wanted = std::min<long long>(m_count + static_cast<long long>(rows), most);
        if (wanted < most && m_result->hasAtLeast(wanted + 1))
            return {static_cast<int>(wanted), true};
        return {static_cast<int>(std::min(m_result->recordCount(), most)), false};
    } catch (const NumberedError &) {
        // A closed file or a failed read ends the count with the rows listed so far.
        return {m_count, false};
    }
}

void SearchResultModel::countMore()
{
    if (!m_result)
        return;
    const auto [known, more] = countOn(SliceRows);
    if (known > m_count) {
        beginInsertRows({}, m_count, known - 1);
        m_count = known;
        endInsertRows();
    }
    if (more)
        m_counting.start();
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
