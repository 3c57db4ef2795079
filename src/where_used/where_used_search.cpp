#include "where_used/where_used_search.h"

#include "search/text_forms.h"
#include "where_used/recorded_answers.h"
#include "where_used/where_used_graph.h"
#include "where_used/where_used_question.h"

#include <QScopeGuard>
#include <utility>

WhereUsedSearch::WhereUsedSearch(WhereUsedGraph &graph, SearchSink &frontEnd,
                                 CandidateFilter *index)
    : m_graph(graph)
    , m_frontEnd(frontEnd)
    , m_index(index)
{}

WhereUsedSearch::~WhereUsedSearch() = default;

RunOutcome WhereUsedSearch::run(SearchRun &run, const WhereUsedQuestion &question,
                                const std::function<void(int level)> &levelDone,
                                qsizetype namesAtOnce)
{
    // made without the text, which they take as the first name
    m_assemblies.emplace(QString());
    m_drawings.emplace(QString());
    m_names.clear();
    m_named.clear();
    m_answers.reset();
    m_run = &run;
    m_levelDone = levelDone;
    if (!question.name.isEmpty()) {
        m_names.append(question.name);
        m_named.insert(question.name);
    }
    // the one pass's answers stand in for the run's filter while the levels are searched
    const auto filterBack = qScopeGuard([&] { run.setCandidateFilter(m_index); });

    SearchRun::Request walk;
    walk.folders = question.folders;
    // no pattern takes assemblies and drawings alone; the walk sorts them out
    walk.pattern = "*";
    walk.inclSubfolders = question.inclSubfolders;
    const RunOutcome walked = run.run(walk, *this);
    if (walked == RunOutcome::Stopped)
        return walked;

    // A stop ends the one pass, not the levels: they take what it found, without reading.
    const bool readStopped = readOnce(run, namesAtOnce) && run.stopRequest() == RunStop::Everything;
    if (readStopped)
        run.requestStop(RunStop::None);
    m_assemblies->addName(question.name);
    const int level = m_assemblies->searchLevels(run, *this, *this, 1, question.maxLevels);
    if (readStopped)
        run.requestStop(RunStop::Everything);
    if (run.stopRequest() == RunStop::Everything)
        return RunOutcome::Stopped;

    // Nothing holds a drawing's name, so the drawings are read once, for the names of every
    // level at once, instead of once per level.
    m_drawings->addName(question.name);
    for (qsizetype file = 0; file < m_graph.fileCount(); ++file)
        m_drawings->addName(m_graph.file(file).name);
    m_drawings->searchLevels(run, *this, *this, level, level);
    return run.stopRequest() == RunStop::Everything ? RunOutcome::Stopped : walked;
}

bool WhereUsedSearch::readOnce(SearchRun &run, qsizetype namesAtOnce)
{
    // An index answers each level from its records, without reading what did not change.
    if (m_index || m_names.size() > namesAtOnce)
        return false;
    QList<QList<QByteArray>> texts;
    for (const QString &name : std::as_const(m_names))
        texts.append(textForms(name));
    const QList<Candidate> &assemblies = m_assemblies->candidates();
    m_answers = std::make_unique<RecordedAnswers>(texts, assemblies);
    run.searchAgain(assemblies, texts, ContentSearch::Goal::EveryText, *this);
    run.setCandidateFilter(m_answers.get());
    return true;
}

void WhereUsedSearch::candidateFound(const QByteArray &name, const QByteArray &folder)
{
    const QByteArray path = folder + name;
    if (const WhereUsedGraph::File named = WhereUsedGraph::describeName(path);
        WhereUsedGraph::isUseType(named.type)) {
        m_graph.noteCandidate(named);
        const bool drawing = WhereUsedGraph::isDrawing(named);
        (drawing ? *m_drawings : *m_assemblies).addCandidate({path, m_run->candidateListing()});
        if (!drawing && !named.name.isEmpty() && !m_named.contains(named.name)) {
            m_named.insert(named.name);
            m_names.append(named.name);
        }
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

void WhereUsedSearch::hit(const Candidate &candidate, const QList<qsizetype> &texts)
{
    // only the one pass reports here; the levels' passes have sinks of their own
    m_answers->record(candidate.path, texts);
}

void WhereUsedSearch::fileNotRead(const QByteArray &path, const QString &reason)
{
    m_frontEnd.fileNotRead(path, reason);
}

void WhereUsedSearch::idle()
{
    m_frontEnd.idle();
}

void WhereUsedSearch::found(int level, const QByteArray &path, const QStringList &names)
{
    m_graph.addFile(path, level, names);
}
