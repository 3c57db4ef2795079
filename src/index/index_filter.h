#pragma once

#include "index/index_store.h"
#include "index/indexer_state.h"
#include "index/runs_matcher.h"
#include "index/selected_answers.h"
#include "platform/requests_in_flight.h"
#include "search/search_run.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QSet>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

// What the index did for a run, for the front end to tell.
struct IndexReport
{
    enum class Reason
    {
        Answered,
        NoIndex,
        Damaged,
        Locked,
        Newer,
        Failed,
        NotCovered,     // a folder of the run lies outside every indexed folder
        Unfinished,     // --from-index: the last update of a folder did not reach every file
        TextTooLoose,   // a text the runs cannot answer: too short, or bytes they do not keep
        BadMapping,     // the office index's folder mapping is bad input
        MappingRefused, // a mapped local folder is missing or holds another tree
    };
    Reason reason = Reason::NoIndex;
    // the oldest last update of the folders the run covers
    qint64 updatedMs = 0;
    qint64 read = 0;     // candidates read
    qint64 answered = 0; // candidates answered without reading
    // the office index named the files to read: the folders were not walked
    bool withoutWalk = false;
    // without the walk, the folders walked all the same: their changes no notice tells of
    qsizetype walkedAnyway = 0;
    // folders whose records failed their check: their files were read
    qint64 damagedFolders = 0;

    // The office index, when the desktop has one set: whether it served the run, else why not
    // (before the desktop's own index was asked).
    struct Office
    {
        bool set = false;
        bool used = false;
        Reason reason = Reason::NoIndex;
        QString detail; // the server's words
        // since its indexer last caught up with every change, by the server's clock; -1 when no
        // indexer watches the run's folders now
        qint64 lagMs = -1;
        // the indexer holds every change under the run's folders (indexer_state.h)
        bool current = false;
        // folders under the run's (as it names them) whose changes the indexer is not told of
        // or cannot record: a run without the walk walks them
        QList<UncoveredFolder> uncovered;
    };
    Office office;
};

// The index as a run's candidate filter. In a search, a candidate whose signature is the
// recorded one is answered from its recorded runs, unless they cannot decide (a text with bytes
// they do not keep); every other candidate is read, so the run's answer is the scan's.
// Answering from the index alone, nothing is read: the recorded runs decide.
class IndexFilter : public CandidateFilter
{
public:
    enum class Use
    {
        Search,
        AnswerAlone,
    };

    // The filter for a run over the folders, or none when the index cannot serve it; report
    // says why.
    static std::unique_ptr<IndexFilter>
    open(const QByteArray &indexFile, const QByteArrayList &folders, Use use, IndexReport &report);
    // The same on a store already open; what report tells of the office index stays. keys: the
    // folders as the store keys them, one each (a mapped desktop's server paths); none: their
    // canonical paths.
    static std::unique_ptr<IndexFilter> openOn(std::unique_ptr<IndexStore> store,
                                               const QByteArrayList &folders, Use use,
                                               IndexReport &report,
                                               const QByteArrayList &keys = {});

    // AnswerAlone: the recorded files under the folders that the walk of a run would reach,
    // with their paths as under the folders given: folder by folder in the order of the
    // folders' paths, the files of each by name. A folder whose record fails its check gives the
    // files it holds now, which the passes read. No record is kept: each pass asks the store for
    // one folder's record at a time, so memory does not grow with the index; what the texts
    // found in the files listed is kept for the pass for the same texts.
    // With texts, those a pass for the texts would miss may be left out (not for the where-used
    // levels, which search the missed again).
    QList<Candidate> recordedCandidates(const QByteArray &pattern, bool inclSubfolders,
                                        const QList<QList<QByteArray>> &texts = {});

    // Search, on a store that selects files itself, kept current by its indexer: the files under
    // the folders that the walk of a run would reach (with texts, only those that may hold one or
    // are marked to be read), in the order of recordedCandidates. The passes then read the files
    // that the index says may hold their texts, and pass over the rest.
    std::optional<QList<Listing>>
    candidatesWithoutWalk(const QByteArrayList &folders, const QByteArray &pattern,
                          bool inclSubfolders, const QList<QList<QByteArray>> &texts) override;

    void begin(const QList<QList<QByteArray>> &texts) override;
    void comingUp(const Candidate &candidate) override;
    std::optional<Answer> answer(const Candidate &candidate) override;

    // What it did so far; the reason of the first pass it could not answer, if any.
    const IndexReport &report() const { return m_report; }
    // Whether the recorded runs answer every form of every text without reading a file.
    static bool answersExactly(const QList<QList<QByteArray>> &texts);

private:
    // what the listing for texts found of one candidate
    struct KnownAnswer
    {
        QByteArray path;
        qint64 size = 0;
        FileState state = FileState::AlwaysRead;
        RunsMatcher::Verdict verdict; // only when Recorded
    };
    struct Folder
    {
        QByteArray given;     // as the run names it, ending with "/"
        QByteArray canonical; // as the index keys it, ending with "/"
    };

    IndexFilter(std::unique_ptr<IndexStore> store, QList<Folder> folders, Use use,
                const IndexReport &report);
    std::optional<QByteArray> keyOf(const QByteArray &path) const;
    const FolderRecord::File *recordOf(const QByteArray &path);
    // The folder's record (key: as the store keys it; given: as the run names it), checked; none
    // when it failed its check, which the report then counts once.
    std::optional<FolderRecord> checkedRecord(const QByteArray &key, const QByteArray &given);
    // What the listing found of the candidate, when the pass is for its texts; none else.
    const KnownAnswer *knownAnswer(const QByteArray &path);
    QList<Candidate> selectedCandidates(const QByteArray &pattern, bool inclSubfolders,
                                        const QList<QList<QByteArray>> &texts);
    // The files select gives for each folder of the run that keep holds, as candidates.
    QList<QList<Candidate>>
    candidatesOf(const QByteArray &pattern,
                 const std::function<QList<StoreSelection::File>(const QByteArray &folder)> &select,
                 const std::function<bool(const StoreSelection::File &)> &keep) const;
    std::optional<Answer> answerSelected(const Candidate &candidate);
    std::optional<Answer> answerWithoutWalk(const Candidate &candidate);
    std::optional<Answer> answerFrom(const RunsMatcher::Verdict &verdict, qint64 size);
    void stopAnswering(IndexReport::Reason reason);
    // The candidate's signature now: asked for ahead, or here.
    std::optional<FileSignature> signatureNow(const Candidate &candidate);

    std::unique_ptr<IndexStore> m_store;
    QList<Folder> m_folders;
    Use m_use;
    IndexReport m_report;
    // the current pass's texts, when the runs can answer them
    std::optional<RunsMatcher> m_matcher;
    // the record of the folder the candidates come from (as the run names it, with its "/")
    QByteArray m_recordFolder;
    FolderRecord m_record;
    // Search: the signatures of the coming candidates, in flight while the file system makes
    // them wait (a share), and of the candidate whose answer is asked for
    struct LookUp
    {
        QByteArray path;
        platform::InFlight<std::optional<FileSignature>> signature;
    };
    std::deque<LookUp> m_lookUps;
    std::optional<LookUp> m_lookUp;
    platform::Lookahead m_lookahead;
    // the files the index recorded in the folders that cover the run's
    qint64 m_filesCovered = 0;
    // the folders (as the run names them, with their "/") whose records failed their check
    QSet<QByteArray> m_damaged;
    // AnswerAlone: what the listing for texts found of the candidates it kept, in their order, so
    // that the pass for the same texts asks the store for no record again; and the one the pass
    // comes to next
    std::vector<KnownAnswer> m_known;
    QList<QList<QByteArray>> m_knownTexts;
    bool m_useKnown = false;
    size_t m_nextKnown = 0;
    // AnswerAlone on a store that selects files itself, and Search without the walk
    std::unique_ptr<SelectedAnswers> m_selected;
    // Search without the walk: the folders it walks all the same, with their "/"; their
    // records are not used
    QByteArrayList m_walkedAnyway;
};
// Why a store could not be opened, as a report's reason.
IndexReport::Reason reasonOf(IndexError::Problem problem);
