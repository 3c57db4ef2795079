#include "index/index_filter.h"

#include "index/file_record.h"
#include "index/index_location.h"
#include "index/sqlite_store.h"
#include "platform/wildcard_pattern.h"

#include <QFile>
#include <algorithm>

namespace {

QByteArray withSeparator(const QByteArray &folder)
{
    return folder.endsWith('/') ? folder : folder + '/';
}

constexpr qsizetype mostTextsAsked = 64;

const QString notRecorded = QStringLiteral("not recorded in the index");
const QString notAnswerable = QStringLiteral("the index cannot answer this text without reading");

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
    report = {};
    if (folders.isEmpty() || !QFile::exists(QFile::decodeName(indexFile)))
        return nullptr;
    try {
        auto store = std::make_unique<SqliteStore>(indexFile, SqliteStore::Mode::Read);
        const QList<IndexedFolder> indexed = store->folders();
        QList<Folder> runFolders;
        qint64 oldest = std::numeric_limits<qint64>::max();
        for (const QByteArray &folder : folders) {
            const QByteArray canonical = canonicalFolder(folder);
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
            runFolders.append({withSeparator(folder), withSeparator(canonical)});
        }
        report.reason = IndexReport::Reason::Answered;
        report.updatedMs = oldest;
        return std::unique_ptr<IndexFilter>(
            new IndexFilter(std::move(store), std::move(runFolders), use, report));
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
{}

QList<Candidate> IndexFilter::recordedCandidates(const QByteArray &pattern, bool inclSubfolders)
{
    const platform::WildcardPattern names(pattern);
    QList<Candidate> candidates;
    QSet<QByteArray> listed;
    try {
        for (const Folder &folder : m_folders) {
            m_store->forEachFile(folder.canonical.chopped(folder.canonical.size() > 1 ? 1 : 0),
                                 [&](const QByteArray &path) {
                                     const QByteArray relative =
                                         path.sliced(folder.canonical.size());
                                     const qsizetype slash = relative.lastIndexOf('/');
                                     if ((!inclSubfolders && slash >= 0) ||
                                         !names.matches(QByteArrayView(relative).sliced(slash + 1)))
                                         return;
                                     if (listed.contains(path))
                                         return;
                                     listed.insert(path);
                                     candidates.append({folder.given + relative, {}});
                                 });
        }
    } catch (const IndexError &error) {
        stopAnswering(reasonOf(error.problem));
        return {};
    }
    return candidates;
}

void IndexFilter::stopAnswering(IndexReport::Reason reason)
{
    m_answering = false;
    m_holding.clear();
    if (m_report.reason == IndexReport::Reason::Answered)
        m_report.reason = reason;
}

void IndexFilter::begin(const QList<QList<QByteArray>> &texts)
{
    m_answering = true;
    m_holding.clear();
    // Each text costs a query that reads the runs of every file holding its pieces; past a few
    // dozen a level is read faster than asked.
    if (m_use == Use::Search && texts.size() > mostTextsAsked) {
        stopAnswering(IndexReport::Reason::TooManyTexts);
        return;
    }
    try {
        for (const QList<QByteArray> &forms : texts) {
            QSet<qint64> holding;
            for (const QByteArray &form : forms) {
                const QByteArrayList pieces = namePieces(form);
                const bool answerable =
                    m_use == Use::AnswerAlone ? isAnsweredExactly(form) : !pieces.isEmpty();
                if (!answerable) {
                    stopAnswering(IndexReport::Reason::TextTooLoose);
                    return;
                }
                holding.unite(m_store->holdingAll(pieces));
            }
            m_holding.append(holding);
        }
    } catch (const IndexError &error) {
        stopAnswering(reasonOf(error.problem));
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

std::optional<CandidateFilter::Answer> IndexFilter::answer(const Candidate &candidate)
{
    // folders and the like: the search passes over them as it always does, and so they count
    // as neither read nor answered
    if (candidate.listed && candidate.listed->kind.kind != platform::FileKind::Ordinary)
        return std::nullopt;
    std::optional<RecordedFile> recorded;
    if (m_answering) {
        try {
            if (const std::optional<QByteArray> key = keyOf(candidate.path))
                recorded = m_store->find(*key);
        } catch (const IndexError &error) {
            stopAnswering(reasonOf(error.problem));
        }
    }
    if (m_use == Use::AnswerAlone) {
        if (!recorded || recorded->state != FileState::Recorded) {
            return Answer{{ContentSearchOutcome::Unreadable,
                           0,
                           m_answering ? notRecorded : notAnswerable,
                           {}},
                          0};
        }
    } else if (!recorded || recorded->state != FileState::Recorded ||
               signatureOf(candidate) != recorded->signature) {
        ++m_report.read;
        return std::nullopt;
    }
    QList<qsizetype> held;
    for (qsizetype text = 0; text < m_holding.size(); ++text) {
        if (m_holding.at(text).contains(recorded->id))
            held.append(text);
    }
    if (held.isEmpty()) {
        ++m_report.answered;
        return Answer{{}, recorded->signature.size};
    }
    if (m_use == Use::Search) {
        ++m_report.read;
        return std::nullopt;
    }
    ++m_report.answered;
    return Answer{{ContentSearchOutcome::Found, 1, {}, held}, recorded->signature.size};
}

bool IndexFilter::answersExactly(const QList<QList<QByteArray>> &texts)
{
    return std::all_of(texts.begin(), texts.end(), [](const QList<QByteArray> &forms) {
        return std::all_of(forms.begin(), forms.end(), isAnsweredExactly);
    });
}
