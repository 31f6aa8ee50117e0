#include "search/search_session.h"

#include "search/srchlist_frm.h"
#include "widgets/ui.h"

namespace zumen {

SearchSession::SearchSession() = default;

SearchSession::~SearchSession()
{
    delete m_list;
}

std::optional<std::int32_t> SearchSession::step(bool next)
{
    std::int32_t id = 0;
    if (!m_list || !m_list->step(next, id))
        return std::nullopt;
    return id;
}

void SearchSession::show(Recordset found)
{
    if (!m_list) {
        m_list = new SrchList_frm;
        CenterForm(*m_list);
        connect(m_list, &SrchList_frm::recordRequested, this, &SearchSession::recordRequested);
        connect(m_list, &QObject::destroyed, this, [this] { m_list = nullptr; });
    }
    m_list->fill(std::move(found));
    m_list->show();
    m_list->raise();
    m_list->activateWindow();
}

void SearchSession::end()
{
    if (m_list)
        m_list->close();
}

} // namespace zumen
