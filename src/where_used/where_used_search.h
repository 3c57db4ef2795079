#pragma once

#include "search/search_run.h"
#include "search/where_used.h"

#include <QSet>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class RecordedAnswers;
class WhereUsedGraph;
struct WhereUsedQuestion;

// Asks the where-used levels of a run and writes what they find into the graph. The walk takes
// the assemblies and drawings and the newest revision of each name, so that parts and other files
// are never read; then every level, the first included, searches the assemblies left, and last
// the drawings are searched for the names of all levels. Where the names a level could look for
// are few enough and no index serves the folders, one pass reads every assembly once for all of
// them, and the levels are answered from what it found, instead of reading the assemblies again
// at every level. The front end's sink hears the walk, the progress, the files
// and folders that could not be read, and the idle calls.
class WhereUsedSearch : private SearchSink, private LevelSink
{
public:
    // Up to this many names, the part's and the assemblies', one pass looks for all of them: up
    // to here one pass costs no more than the two reads of the assemblies that a part in use
    // takes level by level, one for its name and one for the names of level 1 (bench/README.md).
    static constexpr qsizetype namesInOnePass = 5000;

    // index: the run's filter, the one that serves the folders, if any, consulted by every level
    WhereUsedSearch(WhereUsedGraph &graph, SearchSink &frontEnd, CandidateFilter *index = nullptr);
    ~WhereUsedSearch() override;

    // levelDone is called after each level that found files, with its number; the drawings come
    // as the level after the last. namesAtOnce: the most names one pass looks for.
    RunOutcome run(SearchRun &run, const WhereUsedQuestion &question,
                   const std::function<void(int level)> &levelDone,
                   qsizetype namesAtOnce = namesInOnePass);

private:
    // Reads every assembly once for every name, to answer the levels; false: it does not.
    bool readOnce(SearchRun &run, qsizetype namesAtOnce);

    void candidateFound(const QByteArray &name, const QByteArray &folder) override;
    void folderNotListed(const QByteArray &folder, const QString &reason) override;
    void walkFailed(const QByteArray &folder, const FindFileError &error) override;
    void searching(const QByteArray &path, qint64 index, qint64 count) override;
    void progress(const QString &status) override;
    void hit(const Candidate &candidate, const QList<qsizetype> &texts) override;
    void fileNotRead(const QByteArray &path, const QString &reason) override;
    void idle() override;
    void found(int level, const QByteArray &path, const QStringList &names) override;
    void levelDone(int level) override { m_levelDone(level); }

    WhereUsedGraph &m_graph;
    SearchSink &m_frontEnd;
    // the run under way, which tells what the listing said of each candidate
    const SearchRun *m_run = nullptr;
    CandidateFilter *m_index;
    std::optional<WhereUsed> m_assemblies;
    std::optional<WhereUsed> m_drawings;
    // the part's name and those of the walk's assemblies, each once
    QStringList m_names;
    QSet<QString> m_named;
    std::unique_ptr<RecordedAnswers> m_answers;
    std::function<void(int level)> m_levelDone;
};
