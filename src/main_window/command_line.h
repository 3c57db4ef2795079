#pragma once

#include <QString>
#include <QStringList>

// The part file handed over by the file manager's open-with command: the command-line text after
// the program's name, without the double quotes that may still enclose it. Empty: no such start.
QString fileArgumentFromCommandLine(const QStringList &argumentsAfterProgramName);
