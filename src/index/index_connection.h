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
