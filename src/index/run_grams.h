#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// The office index's keys of a file's runs, for the server's own array index: every 4-byte
// piece (gram) of a run, with letter case and every name byte kept, in one of gramSlots slots
// by the run's place among the file's runs. A text inside one run has all its grams in that
// run's slot, so a file without them in any one slot cannot hold it; that grams of one text lie
// spread over several runs (near misses of a part name) rarely puts them into one slot. Keys
// only narrow: a collision of slots gives a file that is then checked, never a missed one.

inline constexpr int gramLength = 4;
inline constexpr int gramSlots = 16;

// The distinct keys of runs (runs ended by line ends, as records keep them), ascending.
QList<qint32> runGramKeys(QByteArrayView runs);

// For each slot, keys that a run in that slot has when it holds the needle (of grams that cover
// it); none when the needle is shorter than a gram or holds a byte that no run holds.
QList<QList<qint32>> needleGramKeys(QByteArrayView needle);

// The keys as an integer array literal of the server: "{1,2,3}".
QByteArray arrayLiteral(const QList<qint32> &keys);
