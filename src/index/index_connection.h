#pragma once

#include "index/index_filter.h"
#include "index/index_map.h"

#include <QByteArray>
#include <QByteArrayList>
#include <memory>

// The office index's server, as a libpq connection string: the one given (a command line's),
// else the environment's SPURWERK_INDEX_DB, else key "Server" of the settings' section "Index";
// empty: the desktop's own index.
QByteArray officeIndexServer(const QByteArray &given = {});

// The index for a run over the folders: the office index when one is set and serves them (through
// the desktop's mapping of the server's folders), else the desktop's own. report tells which,
// and why the office index was not used (a bad or refused mapping among the reasons); a server
// that fails later in the run makes the filter read every file from then on, as any store's fault.
std::unique_ptr<IndexFilter> openIndex(const QByteArrayList &folders, IndexFilter::Use use,
                                       IndexReport &report,
                                       const QByteArray &server = officeIndexServer(),
                                       const IndexMap &map = officeIndexMap());

// The index that serves a window's run over the folders, set as the run's filter for as long as
// this lives.
class IndexInUse
{
public:
    // open: false leaves the run without an index
    IndexInUse(SearchRun &run, const QByteArrayList &folders, bool open = true);
    ~IndexInUse();

    IndexFilter *filter() const { return m_index.get(); }
    // What the index did in the run, or why none served it.
    const IndexReport &report() const { return m_index ? m_index->report() : m_opened; }

private:
    SearchRun &m_run;
    IndexReport m_opened;
    std::unique_ptr<IndexFilter> m_index;
};
