#include "index/index_filter.h"

#include "index/file_record.h"
#include "index/index_location.h"
#include "index/sqlite_store.h"
#include "platform/folder_listing.h"
#include "platform/wildcard_pattern.h"

#include <QFile>
#include <algorithm>

namespace {

// Look-ups asked for ahead: those of the candidates a run tells of before it asks for their
// answers.
constexpr int lookUpsAhead = 64;

const QString notRecorded = QStringLiteral("not recorded in the index");
const QString notAnswerable = QStringLiteral("the index cannot answer this text without reading");

// AnswerAlone: a file the index does not answer for is named, not read
CandidateFilter::Answer notAnswered(bool textAnswerable)
{
    return {{ContentSearchOutcome::Unreadable, 0, textAnswerable ? notRecorded : notAnswerable, {}},
            0};
}

// The files a folder holds now, by name, as a walk would take them.
QByteArrayList filesHeldBy(const QByteArray &folder)
{
    QByteArrayList names;
    platform::FolderListing listing(folder);
    while (listing.next()) {
        if (!listing.name().startsWith('.') && listing.kind().kind == platform::FileKind::Ordinary)
            names.append(listing.name().toByteArray());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

IndexReport::Reason reasonOf(IndexError::Problem problem)
{
    switch (problem) {
    case IndexError::Problem::Missing:
        return IndexReport::Reason::NoIndex;
    case IndexError::Problem::Damaged:
        return IndexReport::Reason::Damaged;
    case IndexError::Problem::Locked:
        return IndexReport::Reason::Locked;
    case IndexError::Problem::Newer:
        return IndexReport::Reason::Newer;
    case IndexError::Problem::DiskFull:
    case IndexError::Problem::Failed:
        break;
    }
    return IndexReport::Reason::Failed;
}

std::unique_ptr<IndexFilter> IndexFilter::open(const QByteArray &indexFile,
                                               const QByteArrayList &folders, Use use,
                                               IndexReport &report)
{
    const IndexReport::Office office = report.office;
    report = {};
    report.office = office;
    if (folders.isEmpty() || !QFile::exists(QFile::decodeName(indexFile)))
        return nullptr;
    try {
        auto store = std::make_unique<SqliteStore>(indexFile, SqliteStore::Mode::Read);
        return openOn(std::move(store), folders, use, report);
    } catch (const IndexError &error) {
        report.reason = reasonOf(error.problem);
        return nullptr;
    }
}

std::unique_ptr<IndexFilter> IndexFilter::openOn(std::unique_ptr<IndexStore> store,
                                                 const QByteArrayList &folders, Use use,
                                                 IndexReport &report, const QByteArrayList &keys)
{
    try {
        const QList<IndexedFolder> indexed = store->folders();
        QList<Folder> runFolders;
        qint64 oldest = std::numeric_limits<qint64>::max();
        qint64 filesCovered = 0;
        for (qsizetype index = 0; index < folders.size(); ++index) {
            const QByteArray &folder = folders.at(index);
            const QByteArray canonical = keys.isEmpty() ? canonicalFolder(folder) : keys.at(index);
            const auto covering =
                std::find_if(indexed.begin(), indexed.end(), [&](const IndexedFolder &entry) {
                    return !canonical.isEmpty() && isInside(canonical, entry.path);
                });
            if (covering == indexed.end()) {
                report.reason = IndexReport::Reason::NotCovered;
                return nullptr;
            }
            if (use == Use::AnswerAlone && !covering->complete) {
                report.reason = IndexReport::Reason::Unfinished;
                return nullptr;
            }
            oldest = std::min(oldest, covering->updatedMs);
            filesCovered += covering->files;
            runFolders.append({folderPrefix(folder), folderPrefix(canonical)});
        }
        report.reason = IndexReport::Reason::Answered;
        report.updatedMs = oldest;
        std::unique_ptr<IndexFilter> filter(
            new IndexFilter(std::move(store), std::move(runFolders), use, report));
        filter->m_filesCovered = filesCovered;
        return filter;
    } catch (const IndexError &error) {
        report.reason = reasonOf(error.problem);
        return nullptr;
    }
}

IndexFilter::IndexFilter(std::unique_ptr<IndexStore> store, QList<Folder> folders, Use use,
                         const IndexReport &report)
    : m_store(std::move(store))
    , m_folders(std::move(folders))
    , m_use(use)
    , m_report(report)
    , m_lookahead(lookUpsAhead)
{
    if (use == Use::AnswerAlone) {
        if (StoreSelection *selection = m_store->selection())
            m_selected = std::make_unique<SelectedAnswers>(*selection);
    }
}

QList<Candidate> IndexFilter::recordedCandidates(const QByteArray &pattern, bool inclSubfolders,
                                                 const QList<QList<QByteArray>> &texts)
{
    if (m_selected)
        return selectedCandidates(pattern, inclSubfolders, texts);
    const platform::WildcardPattern names(pattern);
    // files whose runs miss the texts are left out, as a store that selects files leaves them;
    // a text the runs cannot answer leaves every file unanswered, and so named
    std::optional<RunsMatcher> matcher;
    if (!texts.isEmpty())
        matcher.emplace(texts);
    if (matcher && !matcher->isExact())
        matcher.reset();
    QList<Candidate> candidates;
    QSet<QByteArray> listed;
    m_known.clear();
    m_knownTexts = matcher ? texts : QList<QList<QByteArray>>();
    try {
        // every file the index names: room reserved, not touched, so that growing the list step
        // by step does not touch its memory twice
        if (!matcher)
            candidates.reserve(m_filesCovered);
        for (const Folder &folder : m_folders) {
            const QByteArray root = folderKey(folder.canonical);
            for (const QByteArray &recorded : m_store->foldersUnder(root)) {
                if (!inclSubfolders && recorded != root)
                    continue;
                // a folder named twice, or inside another one named: its files once
                if (listed.contains(recorded))
                    continue;
                listed.insert(recorded);
                const QByteArray given =
                    folder.given + folderPrefix(recorded).sliced(folder.canonical.size());
                const std::optional<FolderRecord> record = checkedRecord(recorded, given);
                if (!record) {
                    for (const QByteArray &name : filesHeldBy(given)) {
                        if (names.matches(name))
                            candidates.append({given + name, {}});
                    }
                    continue;
                }
                for (const FolderRecord::File &file : record->files()) {
                    if (!names.matches(file.name))
                        continue;
                    RunsMatcher::Verdict verdict;
                    if (matcher && file.state == FileState::Recorded) {
                        verdict = matcher->match(file.runs);
                        if (verdict.held.isEmpty())
                            continue;
                    }
                    candidates.append({given + file.name.toByteArray(), {}});
                    if (matcher) {
                        m_known.push_back({candidates.constLast().path, file.signature.size,
                                           file.state, std::move(verdict)});
                    }
                }
            }
        }
    } catch (const IndexError &error) {
        stopAnswering(reasonOf(error.problem));
        return {};
    }
    return candidates;
}

const IndexFilter::KnownAnswer *IndexFilter::knownAnswer(const QByteArray &path)
{
    while (m_useKnown && m_nextKnown < m_known.size()) {
        const KnownAnswer &known = m_known[m_nextKnown++];
        if (known.path == path)
            return &known;
    }
    return nullptr;
}

std::optional<FolderRecord> IndexFilter::checkedRecord(const QByteArray &key,
                                                       const QByteArray &given)
{
    if (m_damaged.contains(given))
        return std::nullopt;
    try {
        return m_store->filesIn(key);
    } catch (const IndexError &error) {
        if (error.problem != IndexError::Problem::Damaged)
            throw;
        m_damaged.insert(given);
        m_report.damagedFolders = m_damaged.size();
        return std::nullopt;
    }
}

void IndexFilter::stopAnswering(IndexReport::Reason reason)
{
    m_matcher.reset();
    if (m_report.reason == IndexReport::Reason::Answered)
        m_report.reason = reason;
}

void IndexFilter::begin(const QList<QList<QByteArray>> &texts)
{
    m_matcher.emplace(texts);
    m_useKnown = !m_known.empty() && texts == m_knownTexts;
    m_nextKnown = 0;
    m_lookUps.clear();
    m_lookUp.reset();
    const bool answerable =
        m_use == Use::AnswerAlone ? m_matcher->isExact() : m_matcher->canRuleOut();
    if (!answerable)
        stopAnswering(IndexReport::Reason::TextTooLoose);
    if (m_selected && m_matcher) {
        try {
            m_selected->beginPass(*m_matcher);
        } catch (const IndexError &error) {
            stopAnswering(reasonOf(error.problem));
        }
    }
}

std::optional<QByteArray> IndexFilter::keyOf(const QByteArray &path) const
{
    for (const Folder &folder : m_folders) {
        if (path.startsWith(folder.given))
            return folder.canonical + path.sliced(folder.given.size());
    }
    return std::nullopt;
}

const FolderRecord::File *IndexFilter::recordOf(const QByteArray &path)
{
    const qsizetype nameStart = path.lastIndexOf('/') + 1;
    const QByteArrayView folder = QByteArrayView(path).first(nameStart);
    // the candidates of a folder come one after another
    if (m_recordFolder.isNull() || folder != m_recordFolder) {
        const std::optional<QByteArray> key = keyOf(folder.toByteArray());
        if (!key)
            return nullptr;
        m_recordFolder.clear();
        std::optional<FolderRecord> record = checkedRecord(folderKey(*key), folder.toByteArray());
        m_record = record ? std::move(*record) : FolderRecord();
        m_recordFolder = folder.toByteArray();
    }
    return m_record.find(QByteArrayView(path).sliced(nameStart));
}

void IndexFilter::comingUp(const Candidate &candidate)
{
    if (m_use != Use::Search || !m_matcher || m_selected || !m_lookahead.inFlight())
        return;
    LookUp &lookUp = m_lookUps.emplace_back(
        LookUp{candidate.path, platform::InFlight<std::optional<FileSignature>>(
                                   [candidate] { return ::signatureOf(candidate); })});
    lookUp.signature.post();
}

std::optional<FileSignature> IndexFilter::signatureNow(const Candidate &candidate)
{
    std::chrono::steady_clock::duration took;
    std::optional<FileSignature> signature;
    if (m_lookUp) {
        signature = m_lookUp->signature.take(&took);
        m_lookUp.reset();
    } else {
        const auto start = std::chrono::steady_clock::now();
        signature = ::signatureOf(candidate);
        took = std::chrono::steady_clock::now() - start;
    }
    m_lookahead.noteAnswer(platform::Lookahead::waitedFor(took));
    return signature;
}

std::optional<CandidateFilter::Answer> IndexFilter::answer(const Candidate &candidate)
{
    // the look-up asked for ahead, if this candidate's was; one not taken is let go
    m_lookUp.reset();
    if (!m_lookUps.empty() && m_lookUps.front().path == candidate.path) {
        m_lookUp.emplace(std::move(m_lookUps.front()));
        m_lookUps.pop_front();
    }
    // folders and the like: the search passes over them as it always does, and so they count
    // as neither read nor answered
    if (candidate.listed && candidate.listed->kind.kind != platform::FileKind::Ordinary)
        return std::nullopt;
    if (m_selected)
        return m_use == Use::AnswerAlone ? answerSelected(candidate) : answerWithoutWalk(candidate);
    if (m_use == Use::AnswerAlone && m_matcher) {
        // a record that failed its check answers nothing: the file is read, as a scan would
        if (!m_damaged.isEmpty() &&
            m_damaged.contains(candidate.path.first(platform::nameStart(candidate.path)))) {
            ++m_report.read;
            return std::nullopt;
        }
        if (const KnownAnswer *known = knownAnswer(candidate.path)) {
            if (known->state != FileState::Recorded)
                return notAnswered(true);
            return answerFrom(known->verdict, known->size);
        }
    }
    const FolderRecord::File *recorded = nullptr;
    if (m_matcher) {
        try {
            recorded = recordOf(candidate.path);
        } catch (const IndexError &error) {
            stopAnswering(reasonOf(error.problem));
        }
    }
    if (m_use == Use::AnswerAlone) {
        if (!recorded || recorded->state != FileState::Recorded)
            return notAnswered(m_matcher.has_value());
    } else if (!recorded || recorded->state != FileState::Recorded ||
               signatureNow(candidate) != recorded->signature) {
        ++m_report.read;
        return std::nullopt;
    }
    return answerFrom(m_matcher->match(recorded->runs), recorded->signature.size);
}

std::optional<CandidateFilter::Answer> IndexFilter::answerSelected(const Candidate &candidate)
{
    const std::optional<QByteArray> key = keyOf(candidate.path);
    const std::optional<SelectedAnswers::Known> known =
        m_matcher && key ? m_selected->find(*key, *m_matcher) : std::nullopt;
    if (!known || known->state != FileState::Recorded)
        return notAnswered(m_matcher.has_value());
    return answerFrom(known->verdict, known->size);
}

std::optional<CandidateFilter::Answer> IndexFilter::answerFrom(const RunsMatcher::Verdict &verdict,
                                                               qint64 size)
{
    if (verdict.undecided) {
        ++m_report.read;
        return std::nullopt;
    }
    ++m_report.answered;
    if (verdict.held.isEmpty())
        return Answer{{}, size};
    // where in the file the text lies, the runs do not tell
    return Answer{{ContentSearchOutcome::Found, 0, {}, verdict.held}, size};
}

bool IndexFilter::answersExactly(const QList<QList<QByteArray>> &texts)
{
    return RunsMatcher(texts).isExact();
}
