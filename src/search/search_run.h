#pragma once

#include "search/content_search.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>
#include <deque>
#include <memory>
#include <optional>

class ContentPass;
class FindFileError;
class cFindFile;

// How far a stop request reaches.
enum class RunStop
{
    None,
    Walk,       // the walk enters no further sub-folder; the content pass goes on
    Everything, // and the content pass ends, the current file at its next block
};

enum class RunOutcome
{
    Done,
    Stopped,    // RunStop::Everything held at the end: not every candidate was searched
    Incomplete, // every candidate was searched, but the walk left sub-folders out
};

// What a run tells its front end, step by step, on the one thread it runs on.
class SearchSink
{
public:
    // Every report is optional: a sink takes what its front end shows.
    // The walk of one of the run's folders begins, and has ended (also when it failed).
    virtual void folderStarted(const QByteArray & /*folder*/) {}
    virtual void folderFinished(const QByteArray & /*folder*/) {}
    // folder ends with the path separator
    virtual void candidateFound(const QByteArray & /*name*/, const QByteArray & /*folder*/) {}
    // folder ends with the path separator
    virtual void folderNotListed(const QByteArray & /*folder*/, const QString & /*reason*/) {}
    // The listing failed after some of the folder's entries, which were walked.
    virtual void folderListedPartly(const QByteArray &folder, const QString &reason)
    {
        folderNotListed(folder, reason);
    }
    // The walk of one of the run's folders failed; unless this throws, the run goes on.
    virtual void walkFailed(const QByteArray &folder, const FindFileError &error);
    // The content pass takes candidate index (0-based) of count; count is -1 while the walk
    // still goes on.
    virtual void searching(const QByteArray & /*path*/, qint64 /*index*/, qint64 /*count*/) {}
    // After every 4096-byte block of the file searched.
    virtual void progress(const QString & /*status*/) {}
    // texts: the indexes of the texts the file holds, with ContentSearch::Goal::EveryText
    virtual void hit(const Candidate & /*candidate*/, const QList<qsizetype> & /*texts*/) {}
    // A candidate searched to its end without a hit.
    virtual void missed(const Candidate & /*candidate*/) {}
    virtual void fileNotRead(const QByteArray & /*path*/, const QString & /*reason*/) {}
    // Between two steps of the walk: where a window processes its pending events.
    virtual void idle() {}

    virtual ~SearchSink() = default;
};

// Tells, without reading them, what some candidates of a content pass hold.
class CandidateFilter
{
public:
    // What a candidate holds, as its search would have found it.
    struct Answer
    {
        ContentSearchResult result;
        qint64 size = 0; // the file's length, for the progress a search of it would show
    };

    virtual ~CandidateFilter() = default;
    // A content pass begins, for these texts (see SearchRun::Request::texts).
    virtual void begin(const QList<QList<QByteArray>> &texts) = 0;
    // The candidate's answer is asked for soon, in the order the candidates come: what it needs
    // from the file system may be asked for ahead, so that the waits of many overlap.
    virtual void comingUp(const Candidate &) {}
    // None: the candidate is read and searched.
    virtual std::optional<Answer> answer(const Candidate &candidate) = 0;

    // What walking one of a run's folders would find, as far as the filter knows it.
    struct Listing
    {
        QList<Candidate> candidates;
        // folders under it whose files the filter does not know: the run walks them
        QByteArrayList toWalk;
    };
    // The candidates that walking each of the folders would find, folder by folder, when the
    // filter knows them without the walk (an index that its indexer keeps current); none: the
    // run walks. With texts, those that cannot hold one may be left out.
    virtual std::optional<QList<Listing>>
    candidatesWithoutWalk(const QByteArrayList & /*folders*/, const QByteArray & /*pattern*/,
                          bool /*inclSubfolders*/, const QList<QList<QByteArray>> & /*texts*/)
    {
        return std::nullopt;
    }
};

// One search run: walks each of its folders once, hands the candidates to the content pass,
// which reads the coming ones ahead, and reports through a sink. The text is fixed when the run
// starts; stop requests and the sub-folder setting may change while it runs, from the handlers
// the sink's idle call lets run.
class SearchRun
{
public:
    struct Request
    {
        QByteArrayList folders;
        QByteArray pattern = "*";
        bool inclSubfolders = true;
        // each text in the byte forms a file may hold it in; none: the walk alone
        QList<QList<QByteArray>> texts;
        ContentSearch::Goal goal = ContentSearch::Goal::FirstOccurrence;
        // Each candidate is searched as the walk finds it, a few behind for the read-ahead, so
        // that memory stays flat; otherwise the content pass follows the whole walk, which then
        // knows how many candidates there are.
        bool searchWhileWalking = false;
        // The sink takes hits and unread files alone, so the candidates that cannot hold a text
        // need not be heard of.
        bool hitsAlone = false;
    };

    explicit SearchRun(cFindFile &finder);
    ~SearchRun();
    SearchRun(const SearchRun &) = delete;
    SearchRun &operator=(const SearchRun &) = delete;

    RunOutcome run(const Request &request, SearchSink &sink);
    // Searches candidates of an earlier run again, for other texts (the levels of where-used).
    RunOutcome searchAgain(const QList<Candidate> &candidates,
                           const QList<QList<QByteArray>> &texts, ContentSearch::Goal goal,
                           SearchSink &sink);

    bool isRunning() const { return m_sink != nullptr; }
    // The content pass is under way (not the walk).
    bool isSearchingContents() const { return m_searchingContents; }
    // Takes effect at the next stop question or block; the next run starts without one.
    void requestStop(RunStop stop) { m_stop = stop; }
    RunStop stopRequest() const { return m_stop; }
    // Read when the walk of each of the run's folders begins.
    void setInclSubfolders(bool include) { m_inclSubfolders = include; }
    // Consulted for every candidate of the content passes that follow; none reads them all.
    void setCandidateFilter(CandidateFilter *filter) { m_filter = filter; }
    // What the folder's listing told of the candidate just found; none when the filter named it
    // without the walk.
    std::optional<platform::ListedEntry> candidateListing() const;

private:
    void walk(const Request &request);
    // The walk of one folder, its unlisted folders told; the error that ended it, if any.
    std::optional<FindFileError> walkFolder(const QByteArray &folder, const QByteArray &pattern);
    // The filter's candidates instead of the walk's, the sink told as by a walk.
    void listWithoutWalk(const Request &request, const QList<CandidateFilter::Listing> &listings);
    void matchFound(const QByteArray &name, const QByteArray &folder);
    void found(Candidate candidate, const QByteArray &name, const QByteArray &folder);
    void stopQuestion(bool &answer);
    // The one way from a candidate into the content pass: through the filter, when there is
    // one, a few candidates behind.
    void add(const Candidate &candidate);
    void answerNext();
    void enter(const Candidate &candidate, std::optional<CandidateFilter::Answer> answer);
    void searchNext();
    void searchRest();
    void begin(SearchSink &sink, const QList<QList<QByteArray>> &texts, ContentSearch::Goal goal);
    RunOutcome end();

    cFindFile &m_finder;
    SearchSink *m_sink = nullptr;
    CandidateFilter *m_filter = nullptr;
    RunStop m_stop = RunStop::None;
    bool m_inclSubfolders = true;
    bool m_walkCutShort = false;
    bool m_walking = false;
    bool m_searchWhileWalking = false;
    bool m_searchingContents = false;
    // the content pass has ended before the last candidate: a stop
    bool m_passEnded = false;
    // candidates kept for a content pass after the walk
    QList<Candidate> m_walked;
    // candidates whose answers the filter is asked for ahead
    std::deque<Candidate> m_awaitingAnswers;
    std::unique_ptr<ContentSearch> m_search;
    std::unique_ptr<ContentPass> m_pass;
    qint64 m_searched = 0;
    qint64 m_count = -1;
};
