#pragma once

#include <QByteArray>
#include <QString>

// What the office indexer last recorded of one folder it watches, as a desktop reads it (ages by
// the server's clock).
struct IndexerState
{
    QByteArray folder;
    qint64 heartbeatAgeMs = 0; // since the indexer last said it runs
    qint64 caughtUpAgeMs = 0;  // since it last said every change it was told of is written
    // a change the kernel told of is not written yet: recorded the moment its notice arrived
    bool pending = false;
    // the kernel's notice ran over: changes were lost until the sweep that follows
    bool overflowed = false;
    bool swept = false; // the last sweep of the folder reached its end
};

// How far a desktop may trust the indexer's records of a folder.
enum class IndexerCurrency
{
    Current,    // the records hold every change: the file list may stand in for the walk
    Silent,     // the indexer has not said it runs for too long: it may have stopped
    Sweeping,   // a sweep is under way or did not reach every folder
    Overflowed, // changes were lost; the sweep that finds them has not ended
    Behind,     // a change the kernel told of is not written yet
};

// An indexer that has not said it runs for this long has stopped (it says so every second).
inline constexpr qint64 heartbeatLimitMs = 5000;

// The rule that lets a desktop skip the walk: the indexer runs, has swept the folder to its end,
// lost no notice since, and has written every change it was told of.
IndexerCurrency currencyOf(const IndexerState &state);

// A folder inside the watched ones whose changes the indexer is not told of, or cannot record:
// a run reads it itself.
struct UncoveredFolder
{
    QByteArray folder;
    QString reason;
    bool operator==(const UncoveredFolder &) const = default;
};
