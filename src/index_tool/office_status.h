#pragma once

#include "index/index_map.h"

#include <QByteArray>

// spurwerk-index status, the office index's part: the server, each folder its indexer watches
// (with this desktop's path for it), files and bytes, when the indexer last said it runs and
// caught up, its last sweep, the folders the kernel refused to watch, and the layout. Returns 0
// when the indexer keeps every folder current, 1 when it is behind or silent, 2 when the server
// cannot be asked or the mapping cannot serve this desktop.
int showOfficeStatus(const QByteArray &server, const IndexMap &map);
