#pragma once

#include "search/content_search.h"
#include "search/search_run.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// What the walk up the where-used levels reports, level by level.
class LevelSink
{
public:
    virtual ~LevelSink() = default;
    // path holds names: the names of the level before that it holds, in the order their files
    // were reported
    virtual void found(int level, const QByteArray &path, const QStringList &names) = 0;
    // After each level that found files.
    virtual void levelDone(int) {}
};

// The name by which other files hold a file: its base name in upper case, as the start with a
// file argument turns a part file into a search text.
QString referenceName(const QByteArray &path);

// Where a part is used, level by level up to the top assemblies: level 1 is the files that hold
// the search text, level k + 1 the files that hold the name of a file of level k. The candidates
// of one walk are searched again at each level for all of its names at once; each file is
// reported once, at the first level that finds it, so references in a circle come to an end.
class WhereUsed
{
public:
    // text: what level 1 looks for; a file named like it holds nothing level 1 did not find
    explicit WhereUsed(const QString &text);

    // A candidate of the walk that level 1 did not report.
    void addCandidate(Candidate candidate);
    // The candidates the next level searches, in the walk's order.
    const QList<Candidate> &candidates() const { return m_candidates; }
    // A file level 1 reported: its name is looked for at level 2.
    void addReported(const QByteArray &path);
    // A name looked for at the next level, unless it was looked for before. Made without a text,
    // the levels take the text this way, and level 1 is searched as the levels after it are.
    void addName(const QString &name);

    // Searches the levels from first on, up to last (0: no end), through the run: each level the
    // candidates left, in the walk's order, for the names of the files the level before reported.
    // The sink hears the rest but for the candidates missed; a file that cannot be read is
    // reported once, and searched no more. A level that finds nothing ends the walk up the levels,
    // as does a level without names that were not searched before, or a stop. Returns the level
    // after the last that found files.
    int searchLevels(SearchRun &run, SearchSink &sink, LevelSink &levels, int first, int last);

private:
    QList<Candidate> m_candidates;
    // of the files the last level reported, in their order, each once
    QStringList m_names;
    // every name looked for so far: all files that hold one of them were found then
    QSet<QString> m_searched;
};
