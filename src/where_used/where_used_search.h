#pragma once

#include "search/search_run.h"
#include "search/where_used.h"

#include <functional>
#include <optional>

class WhereUsedGraph;
class cFindFile;
struct WhereUsedQuestion;

// Asks the where-used levels of a run and writes what they find into the graph. The walk takes
// the assemblies and drawings and the newest revision of each name, so that parts and other files
// are never read; then every level, the first included, searches the assemblies left, and last
// the drawings are searched for the names of all levels. The front end's sink hears the walk,
// the progress, the files and folders that could not be read, and the idle calls.
class WhereUsedSearch : private SearchSink
{
public:
    // finder: the run's, which tells what the listing said of each candidate
    WhereUsedSearch(WhereUsedGraph &graph, SearchSink &frontEnd, const cFindFile &finder);

    // levelDone is called after each level that found files, with its number; the drawings come
    // as the level after the last.
    RunOutcome run(SearchRun &run, const WhereUsedQuestion &question,
                   const std::function<void(int level)> &levelDone);

private:
    void candidateFound(const QByteArray &name, const QByteArray &folder) override;
    void folderNotListed(const QByteArray &folder, const QString &reason) override;
    void walkFailed(const QByteArray &folder, const FindFileError &error) override;
    void searching(const QByteArray &path, qint64 index, qint64 count) override;
    void progress(const QString &status) override;
    void fileNotRead(const QByteArray &path, const QString &reason) override;
    void idle() override;

    WhereUsedGraph &m_graph;
    SearchSink &m_frontEnd;
    const cFindFile &m_finder;
    std::optional<WhereUsed> m_assemblies;
    std::optional<WhereUsed> m_drawings;
};
