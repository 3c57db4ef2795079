#include "where_used/where_used_search.h"

#include "search/cfindfile.h"
#include "where_used/where_used_graph.h"
#include "where_used/where_used_question.h"

WhereUsedSearch::WhereUsedSearch(WhereUsedGraph &graph, SearchSink &frontEnd,
                                 const cFindFile &finder)
    : m_graph(graph)
    , m_frontEnd(frontEnd)
    , m_finder(finder)
{}

RunOutcome WhereUsedSearch::run(SearchRun &run, const WhereUsedQuestion &question,
                                const std::function<void(int level)> &levelDone)
{
    m_levels.emplace(question.name);
    SearchRun::Request walk;
    walk.folders = question.folders;
    // no pattern takes assemblies and drawings alone; the walk sorts them out
    walk.pattern = "*";
    walk.inclSubfolders = question.inclSubfolders;
    const RunOutcome walked = run.run(walk, *this);
    if (walked == RunOutcome::Stopped)
        return walked;
    m_levels->addName(question.name);
    for (int level = 1; question.maxLevels == 0 || level <= question.maxLevels; ++level) {
        const auto found = [&](const QByteArray &path, const QStringList &names) {
            m_graph.addFile(path, level, names);
        };
        if (m_levels->searchNextLevel(run, *this, found) == 0)
            break;
        levelDone(level);
    }
    return run.stopRequest() == RunStop::Everything ? RunOutcome::Stopped : walked;
}

void WhereUsedSearch::candidateFound(const QByteArray &name, const QByteArray &folder)
{
    const QByteArray path = folder + name;
    if (const WhereUsedGraph::File named = WhereUsedGraph::describeName(path);
        WhereUsedGraph::isUseType(named.type)) {
        m_graph.noteCandidate(named);
        m_levels->addCandidate({path, m_finder.matchEntry()});
    }
    m_frontEnd.candidateFound(name, folder);
}

void WhereUsedSearch::folderNotListed(const QByteArray &folder, const QString &reason)
{
    m_frontEnd.folderNotListed(folder, reason);
}

void WhereUsedSearch::walkFailed(const QByteArray &folder, const FindFileError &error)
{
    m_frontEnd.walkFailed(folder, error);
}

void WhereUsedSearch::searching(const QByteArray &path, qint64 index, qint64 count)
{
    m_frontEnd.searching(path, index, count);
}

void WhereUsedSearch::progress(const QString &status)
{
    m_frontEnd.progress(status);
}

void WhereUsedSearch::fileNotRead(const QByteArray &path, const QString &reason)
{
    m_frontEnd.fileNotRead(path, reason);
}

void WhereUsedSearch::idle()
{
    m_frontEnd.idle();
}
