#pragma once

#include "index/index_filter.h"

#include <QByteArrayList>
#include <memory>

class SearchRun;

// The index that serves a window's run over the folders, set as the run's filter for as long as
// this lives.
class IndexInUse
{
public:
    // open: false leaves the run without an index
    IndexInUse(SearchRun &run, const QByteArrayList &folders, bool open = true);
    ~IndexInUse();
    IndexInUse(const IndexInUse &) = delete;
    IndexInUse &operator=(const IndexInUse &) = delete;

    IndexFilter *filter() const { return m_index.get(); }
    // What the index did in the run, or why none served it.
    const IndexReport &report() const { return m_index ? m_index->report() : m_opened; }

private:
    SearchRun &m_run;
    IndexReport m_opened;
    std::unique_ptr<IndexFilter> m_index;
};
