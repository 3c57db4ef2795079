#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The part file handed over by the file manager's open-with command: the command-line text after
// the program's name, without the double quotes that may still enclose it. Empty: no such start.
QString fileArgumentFromCommandLine(const QStringList &argumentsAfterProgramName);

// The file of the start "spurwerk --verwendung FILE", as the bytes the system gave: a name that
// is not valid UTF-8 must still open. None for any other start.
std::optional<QByteArray> whereUsedFileArgument(int argc, const char *const *argv);
