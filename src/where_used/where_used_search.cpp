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
    // made without the text, which they take as the first name
    m_assemblies.emplace(QString());
    m_drawings.emplace(QString());
    SearchRun::Request walk;
    walk.folders = question.folders;
    // no pattern takes assemblies and drawings alone; the walk sorts them out
    walk.pattern = "*";
    walk.inclSubfolders = question.inclSubfolders;
    const RunOutcome walked = run.run(walk, *this);
    if (walked == RunOutcome::Stopped)
        return walked;

    m_assemblies->addName(question.name);
    int level = 1;
    for (; question.maxLevels == 0 || level <= question.maxLevels; ++level) {
        const auto found = [&](const QByteArray &path, const QStringList &names) {
            m_graph.addFile(path, level, names);
        };
        if (m_assemblies->searchNextLevel(run, *this, found) == 0)
            break;
        levelDone(level);
    }
    if (run.stopRequest() == RunStop::Everything)
        return RunOutcome::Stopped;

    // Nothing holds a drawing's name, so the drawings are read once, for the names of every
    // level at once, instead of once per level.
    m_drawings->addName(question.name);
    for (qsizetype file = 0; file < m_graph.fileCount(); ++file)
        m_drawings->addName(m_graph.file(file).name);
    const auto drawn = [&](const QByteArray &path, const QStringList &names) {
        m_graph.addFile(path, level, names);
    };
    if (m_drawings->searchNextLevel(run, *this, drawn) > 0)
        levelDone(level);
    return run.stopRequest() == RunStop::Everything ? RunOutcome::Stopped : walked;
}

void WhereUsedSearch::candidateFound(const QByteArray &name, const QByteArray &folder)
{
    const QByteArray path = folder + name;
    if (const WhereUsedGraph::File named = WhereUsedGraph::describeName(path);
        WhereUsedGraph::isUseType(named.type)) {
        m_graph.noteCandidate(named);
        WhereUsed &levels = WhereUsedGraph::isDrawing(named) ? *m_drawings : *m_assemblies;
        levels.addCandidate({path, m_finder.matchEntry()});
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
