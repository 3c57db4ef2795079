#pragma once

#include <QByteArray>
#include <QByteArrayList>

// spurwerk-index's commands; each returns the exit status (as spurwerk-find's: 0 done, 2 trouble)
// and names every trouble on standard error.
// settleSeconds: a file changed within this span before its record began is read again by the
// next update
int updateFolders(const QByteArray &indexFile, const QByteArrayList &folders, qint64 settleSeconds);
int showStatus(const QByteArray &indexFile);
int forgetFolder(const QByteArray &indexFile, const QByteArray &folder);
