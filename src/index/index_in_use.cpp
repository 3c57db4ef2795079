#include "index/index_in_use.h"

#include "index/index_connection.h"

IndexInUse::IndexInUse(SearchRun &run, const QByteArrayList &folders, bool open)
    : m_run(run)
    , m_index(open ? openIndex(folders, IndexFilter::Use::Search, m_opened) : nullptr)
{
    m_run.setCandidateFilter(m_index.get());
}

IndexInUse::~IndexInUse()
{
    m_run.setCandidateFilter(nullptr);
}
