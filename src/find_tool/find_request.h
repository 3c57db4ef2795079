#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>
#include <optional>

inline constexpr int exitFound = 0;
inline constexpr int exitNothingFound = 1;
inline constexpr int exitTrouble = 2;

// What spurwerk-find is asked to do.
struct FindRequest
{
    QString criterion = QStringLiteral("*");
    bool inclSubfolders = true;
    // 1: the files that hold the text; more: where-used up to that level
    int levels = 1;
    // every printed field ends with a NUL byte, as file names may hold line ends
    bool nullEnded = false;
    enum class IndexUse
    {
        WhenCovering, // when the index covers the FOLDERs
        Never,
        Alone, // answers from the index without touching the FOLDERs
    };
    IndexUse index = IndexUse::WhenCovering;
    // the office index's libpq connection string; empty: the environment's or the settings'
    QByteArray indexServer;
    // the desktop's folders for the server's ("SERVER=LOCAL"); none: the environment's or the
    // settings'
    QByteArrayList indexMap;
    QString text;
    QList<QByteArray> folders;
};

// The request on the command line; without one, exitStatus says how the program ends (the help
// was shown, or what was wrong is on standard error).
std::optional<FindRequest> parseRequest(int argc, char **argv, int &exitStatus);
