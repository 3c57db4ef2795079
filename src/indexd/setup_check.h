#pragma once

#include <QByteArray>
#include <QByteArrayList>

// spurwerk-indexd --check: whether the database, the roles' rights and the kernel's limit of
// watches are fit for the folders, before the indexer's first start; a line on standard output
// for each, nothing written. Returns 0 when all are fit, else 1.
int checkSetup(const QByteArray &connection, const QByteArrayList &folders);
