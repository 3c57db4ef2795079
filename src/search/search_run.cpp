#include "search/search_run.h"

#include "search/cfindfile.h"
#include "search/content_pass.h"
#include "search/find_file_error.h"

#include <QScopeGuard>
#include <utility>

namespace {

// Candidates the filter is told of before it is asked for their answers: as many as the content
// pass keeps in flight, for the same reason.
constexpr size_t awaitingAnswers = 32;

} // namespace

void SearchSink::walkFailed(const QByteArray &, const FindFileError &error)
{
    throw error;
}

SearchRun::SearchRun(cFindFile &finder)
    : m_finder(finder)
{
    QObject::connect(&m_finder, &cFindFile::MatchFound, &m_finder,
                     [this](const QByteArray &name, const QByteArray &folder) {
                         if (isRunning())
                             matchFound(name, folder);
                     });
    QObject::connect(&m_finder, &cFindFile::StopSearch, &m_finder, [this](bool &answer) {
        if (isRunning())
            stopQuestion(answer);
    });
}

SearchRun::~SearchRun() = default;

RunOutcome SearchRun::run(const Request &request, SearchSink &sink)
{
    m_stop = RunStop::None;
    m_walkCutShort = false;
    m_inclSubfolders = request.inclSubfolders;
    m_searchWhileWalking = request.searchWhileWalking;
    begin(sink, request.texts, request.goal);
    // whatever ends the run, an error included, leaves it ended
    const auto ending = qScopeGuard([this] { end(); });

    const std::optional<QList<CandidateFilter::Listing>> listed =
        m_filter ? m_filter->candidatesWithoutWalk(
                       request.folders, request.pattern, m_inclSubfolders,
                       request.hitsAlone ? request.texts : QList<QList<QByteArray>>())
                 : std::nullopt;
    if (listed)
        listWithoutWalk(request, *listed);
    else
        walk(request);
    if (m_pass && !m_searchWhileWalking) {
        m_count = m_walked.size();
        const QList<Candidate> walked = std::exchange(m_walked, {});
        for (const Candidate &candidate : walked) {
            if (m_passEnded)
                break;
            add(candidate);
        }
    }
    searchRest();
    return end();
}

RunOutcome SearchRun::searchAgain(const QList<Candidate> &candidates,
                                  const QList<QList<QByteArray>> &texts, ContentSearch::Goal goal,
                                  SearchSink &sink)
{
    begin(sink, texts, goal);
    const auto ending = qScopeGuard([this] { end(); });

    m_count = candidates.size();
    for (const Candidate &candidate : candidates) {
        if (m_passEnded)
            break;
        add(candidate);
    }
    searchRest();
    return end();
}

void SearchRun::begin(SearchSink &sink, const QList<QList<QByteArray>> &texts,
                      ContentSearch::Goal goal)
{
    m_sink = &sink;
    m_passEnded = false;
    m_searchingContents = false;
    m_searched = 0;
    m_count = -1;
    m_walked.clear();
    m_awaitingAnswers.clear();
    m_search.reset();
    m_pass.reset();
    if (texts.isEmpty())
        return;
    m_search = std::make_unique<ContentSearch>(texts, goal);
    if (m_filter)
        m_filter->begin(texts);
    // A stop ends the current file at its next block: a large file must not keep the user
    // waiting.
    m_pass =
        std::make_unique<ContentPass>([this](const QString &status) { m_sink->progress(status); },
                                      [this] { return m_stop == RunStop::Everything; });
}

RunOutcome SearchRun::end()
{
    if (!m_sink)
        return RunOutcome::Done;
    m_sink = nullptr;
    m_searchingContents = false;
    m_awaitingAnswers.clear();
    m_pass.reset();
    m_search.reset();
    m_walked.clear();
    if (m_stop == RunStop::Everything)
        return RunOutcome::Stopped;
    return m_walkCutShort ? RunOutcome::Incomplete : RunOutcome::Done;
}

void SearchRun::walk(const Request &request)
{
    // a folder inside another of the run's folders, or reached through links, is walked once
    const cFindFile::Run walkedOnce(m_finder);
    for (const QByteArray &folder : request.folders) {
        m_sink->folderStarted(folder);
        const std::optional<FindFileError> failure = walkFolder(folder, request.pattern);
        m_sink->folderFinished(folder);
        if (failure)
            m_sink->walkFailed(folder, *failure);
    }
}

std::optional<FindFileError> SearchRun::walkFolder(const QByteArray &folder,
                                                   const QByteArray &pattern)
{
    m_walking = true;
    const auto walkEnd = qScopeGuard([this] { m_walking = false; });
    m_finder.setSFileToFind(pattern);
    m_finder.setSInclSubfolders(m_inclSubfolders);
    m_finder.setSSearchpath(folder);
    std::optional<FindFileError> failure;
    try {
        m_finder.sStartSearch();
    } catch (const FindFileError &error) {
        failure = error;
    }
    for (const cFindFile::UnlistedFolder &unlisted : m_finder.unlistedFolders()) {
        if (unlisted.partly)
            m_sink->folderListedPartly(unlisted.path, unlisted.reason);
        else
            m_sink->folderNotListed(unlisted.path, unlisted.reason);
    }
    return failure;
}

void SearchRun::listWithoutWalk(const Request &request,
                                const QList<CandidateFilter::Listing> &listings)
{
    const cFindFile::Run walkedOnce(m_finder);
    for (qsizetype folder = 0; folder < request.folders.size(); ++folder) {
        const QByteArray &given = request.folders.at(folder);
        m_sink->folderStarted(given);
        for (const Candidate &candidate : listings.at(folder).candidates) {
            // a stop ends the listing as it ends the walk
            if (m_stop != RunStop::None) {
                m_walkCutShort = true;
                break;
            }
            const qsizetype nameStart = candidate.path.lastIndexOf('/') + 1;
            found(candidate, candidate.path.sliced(nameStart), candidate.path.first(nameStart));
        }
        std::optional<FindFileError> failure;
        for (const QByteArray &unknown : listings.at(folder).toWalk) {
            if (m_stop == RunStop::None && !failure)
                failure = walkFolder(unknown, request.pattern);
        }
        m_sink->folderFinished(given);
        if (failure)
            m_sink->walkFailed(given, *failure);
    }
}

std::optional<platform::ListedEntry> SearchRun::candidateListing() const
{
    if (!m_walking)
        return std::nullopt;
    return m_finder.matchEntry();
}

void SearchRun::matchFound(const QByteArray &name, const QByteArray &folder)
{
    found({folder + name, m_finder.matchEntry()}, name, folder);
}

void SearchRun::found(Candidate candidate, const QByteArray &name, const QByteArray &folder)
{
    m_sink->candidateFound(name, folder);
    m_sink->idle();
    if (!m_pass)
        return;
    if (m_searchWhileWalking) {
        add(candidate);
        return;
    }
    // Kept until the walk has ended: the folder is opened by its path then, not held open.
    if (candidate.listed)
        candidate.listed->folder.reset();
    m_walked.append(std::move(candidate));
}

// Asked before each sub-folder: any stop request ends the walk there.
void SearchRun::stopQuestion(bool &answer)
{
    if (m_stop != RunStop::None) {
        answer = true;
        m_walkCutShort = true;
    }
    m_sink->idle();
}

void SearchRun::add(const Candidate &candidate)
{
    if (!m_filter) {
        enter(candidate, std::nullopt);
        return;
    }
    m_filter->comingUp(candidate);
    m_awaitingAnswers.push_back(candidate);
    if (m_awaitingAnswers.size() > awaitingAnswers)
        answerNext();
}

void SearchRun::answerNext()
{
    const Candidate candidate = std::move(m_awaitingAnswers.front());
    m_awaitingAnswers.pop_front();
    enter(candidate, m_filter->answer(candidate));
}

void SearchRun::enter(const Candidate &candidate, std::optional<CandidateFilter::Answer> answer)
{
    m_pass->add(candidate.path, candidate.listed, std::move(answer));
    while (m_pass->isFull() && !m_passEnded)
        searchNext();
}

void SearchRun::searchRest()
{
    while (!m_awaitingAnswers.empty() && !m_passEnded)
        answerNext();
    while (m_pass && !m_pass->isEmpty() && !m_passEnded)
        searchNext();
}

void SearchRun::searchNext()
{
    // the first candidate is always searched
    if (m_searched > 0 && m_stop == RunStop::Everything) {
        m_passEnded = true;
        return;
    }
    m_searchingContents = true;
    const Candidate candidate = m_pass->next();
    m_sink->searching(candidate.path, m_searched, m_count);
    ++m_searched;
    const ContentSearchResult result = m_pass->searchNext(*m_search);
    switch (result.outcome) {
    case ContentSearchOutcome::Found:
        m_sink->hit(candidate, result.texts);
        break;
    case ContentSearchOutcome::Unreadable:
        m_sink->fileNotRead(candidate.path, result.error);
        break;
    case ContentSearchOutcome::NotFound:
        m_sink->missed(candidate);
        break;
    case ContentSearchOutcome::Stopped:
        m_passEnded = true;
        break;
    }
}
