#pragma once

#include <QByteArrayList>
#include <QList>
#include <QString>

// What the result list shows of a hit.
struct HitDetails
{
    QString baseName;     // Label8
    QString type;         // Label9
    QString typeLine;     // Label10
    QString revisionLine; // the status line
};

HitDetails hitDetails(const QString &path);

// The numeric value of a revision as decimal text: its leading number (blanks before it skipped,
// a sign kept, leading zeros dropped), "0" when it does not begin with one. Kept as text, so a
// number longer than any integer type holds still compares exactly.
QString revisionValue(const QString &revision);

// The positions the duplicate purge blanks, in ascending order: of every group of non-empty
// entries with the same base name, type and revision value, all but the last in list order.
// Empty entries stay as they are. This is the outcome of testing every ordered pair of positions
// in turn, where an entry is blanked when another one still holding text matches it.
QList<int> duplicatePositions(const QByteArrayList &entries);

// "whatsfound.txt" in the working folder; the name alone when the folder could not be read.
QByteArray whatsfoundPath(const QByteArray &workingFolder);
// The four header lines and one line per entry, a purged entry as an empty line.
QByteArray whatsfoundContents(const QString &searchText, const QString &criterion,
                              const QByteArrayList &entries);
