#pragma once

#include "index/postgres_store.h"

#include <QByteArray>
#include <QByteArrayList>

// What the indexer tells of a folder it watches after sweeping it: a few names at its top (a
// desktop that maps the folder to its own compares them), when the sweep ended and how long it
// took.
PostgresStore::Root rootFacts(const QByteArray &root, qint64 sweepMs);
