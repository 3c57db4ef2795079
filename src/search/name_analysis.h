#pragma once

#include "platform/path_syntax.h"

#include <QByteArray>
#include <QString>

// CAD file names are name.type or name.type.revision, e.g. hub.prt.3.

// base name: the last path component up to its first dot
QString Zerlege(const QString &Pfad, PathSyntax syntax = nativePathSyntax);
// type with its leading dot (".prt"), empty when there is none
QString GetExt(const QString &Pfad, PathSyntax syntax = nativePathSyntax);
// revision: everything after the last dot of the whole path
QString getnum(const QString &Pfad);

bool DirExists(const QByteArray &Path);
bool FileExists(const QByteArray &sFile);
