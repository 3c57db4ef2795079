#pragma once

#include <QByteArray>
#include <QByteArrayList>

// spurwerk-index's commands; each returns the exit status (as spurwerk-find's: 0 done, 2 trouble)
// and names every trouble on standard error.
// settleSeconds: a file changed within this span before its record began is read again by the
// next update
int updateFolders(const QByteArray &indexFile, const QByteArrayList &folders, qint64 settleSeconds);
// The folders indexed before (what the user timer runs); none: nothing to do.
int updateIndexedFolders(const QByteArray &indexFile, qint64 settleSeconds);
// The path editor's saved folders but the roots of file systems ("/" is the list's default, and
// the user timer would otherwise read the whole disk unasked), which it names with the reason.
int updateEditorFolders(const QByteArray &indexFile, const QByteArrayList &savedFolders,
                        qint64 settleSeconds);
int showStatus(const QByteArray &indexFile);
int forgetFolder(const QByteArray &indexFile, const QByteArray &folder);
