#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The program's arguments after its name, as texts. QCoreApplication::arguments() turns a byte
// that is not valid in the local encoding into a replacement mark; here each part of a path is
// read as file names are (platform::fileNameText), so that "open with" on a Latin-1 name from an
// old share searches for the name its maker typed.
QStringList argumentsAfterProgramName(int argc, const char *const *argv);

// The part file handed over by the file manager's open-with command: the command-line text after
// the program's name, without the double quotes that may still enclose it. Empty: no such start.
QString fileArgumentFromCommandLine(const QStringList &argumentsAfterProgramName);

// What the command line asks for. Options come before the file argument ("--" ends them, so that
// a file name may begin with "-"); a start with "--verwendung" as the first argument is left to
// whereUsedFileArgument.
struct StartRequest
{
    enum class Kind
    {
        Window, // the main window, with the file argument when there is one
        WhereUsed,
        Help,
        Version,
        BadUsage
    };
    Kind kind = Kind::Window;
    QString fileArgument; // Window: as fileArgumentFromCommandLine gives it
    QString problem;      // BadUsage: why, in a sentence
};
StartRequest startRequest(int argc, const char *const *argv);

// The file of the start "spurwerk --verwendung FILE", as the bytes the system gave: a name that
// is not valid UTF-8 must still open. None for any other start.
std::optional<QByteArray> whereUsedFileArgument(int argc, const char *const *argv);
