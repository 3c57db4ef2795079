// The index filter's answers through a store that selects files itself.

#include "index/index_connection.h"
#include "index/index_filter.h"
#include "index/index_location.h"
#include "platform/wildcard_pattern.h"

#include <QSet>
#include <algorithm>

QList<QList<Candidate>> IndexFilter::candidatesOf(
    const QByteArray &pattern,
    const std::function<QList<StoreSelection::File>(const QByteArray &folder)> &select,
    const std::function<bool(const StoreSelection::File &)> &keep) const
{
    const platform::WildcardPattern names(pattern);
    QList<QList<Candidate>> candidates;
    QSet<QByteArray> listed;
    for (const Folder &folder : m_folders) {
        QList<Candidate> &ofFolder = candidates.emplace_back();
        // a folder named twice, or inside another one named: its files once
        QSet<QByteArray> listedHere;
        for (const StoreSelection::File &file : select(folderKey(folder.canonical))) {
            if (listed.contains(file.folder) || !names.matches(file.name) || !keep(file))
                continue;
            listedHere.insert(file.folder);
            const QByteArray recorded = folderPrefix(file.folder);
            ofFolder.append(
                {folder.given + recorded.sliced(folder.canonical.size()) + file.name, {}});
        }
        listed.unite(listedHere);
    }
    return candidates;
}

QList<Candidate> IndexFilter::selectedCandidates(const QByteArray &pattern, bool inclSubfolders,
                                                 const QList<QList<QByteArray>> &texts)
{
    // a pass over files left out would miss them all: only exact answers leave any out
    std::optional<RunsMatcher> matcher;
    if (!texts.isEmpty())
        matcher.emplace(texts);
    if (matcher && !matcher->isExact())
        matcher.reset();
    try {
        QList<Candidate> candidates;
        for (const QList<Candidate> &ofFolder : candidatesOf(
                 pattern,
                 [&](const QByteArray &folder) {
                     return m_selected->listFiles(folder, inclSubfolders, pattern,
                                                  matcher ? &*matcher : nullptr);
                 },
                 [](const StoreSelection::File &) { return true; }))
            candidates.append(ofFolder);
        return candidates;
    } catch (const IndexError &error) {
        stopAnswering(reasonOf(error.problem));
        return {};
    }
}

std::optional<QList<QList<Candidate>>>
IndexFilter::candidatesWithoutWalk(const QByteArrayList &folders, const QByteArray &pattern,
                                   bool inclSubfolders, const QList<QList<QByteArray>> &texts)
{
    auto *selection = dynamic_cast<StoreSelection *>(m_store.get());
    const qint64 lag = m_report.office.lagMs;
    // not for a text the runs cannot rule out anywhere, nor after a failure
    if (m_use != Use::Search || !selection || lag < 0 || lag > currentLagMs ||
        m_report.reason != IndexReport::Reason::Answered || folders.size() != m_folders.size())
        return std::nullopt;
    for (qsizetype folder = 0; folder < folders.size(); ++folder) {
        if (folderPrefix(folders.at(folder)) != m_folders.at(folder).given)
            return std::nullopt;
    }
    try {
        // while the indexer sweeps, the records of a folder may not hold every file yet
        const QList<IndexedFolder> indexed = m_store->folders();
        for (const Folder &folder : std::as_const(m_folders)) {
            const QByteArray key = folderKey(folder.canonical);
            if (std::none_of(indexed.begin(), indexed.end(), [&](const IndexedFolder &entry) {
                    return entry.complete && isInside(key, entry.path);
                }))
                return std::nullopt;
        }
        auto selected = std::make_unique<SelectedAnswers>(*selection);
        const RunsMatcher *byNeedles = !texts.isEmpty() && m_matcher ? &*m_matcher : nullptr;
        QList<QList<Candidate>> candidates = candidatesOf(
            pattern,
            [&](const QByteArray &folder) {
                return selected->listFiles(folder, inclSubfolders, pattern, byNeedles);
            },
            [&](const StoreSelection::File &file) {
                if (!byNeedles || file.state != FileState::Recorded)
                    return true;
                const RunsMatcher::Verdict verdict = byNeedles->verdictOn(file.needles);
                return !verdict.held.isEmpty() || verdict.undecided;
            });
        if (m_matcher)
            selected->beginPass(*m_matcher);
        m_selected = std::move(selected);
        m_report.withoutWalk = true;
        return candidates;
    } catch (const IndexError &) {
        // the walk asks the server again, and reads every file when it fails
        return std::nullopt;
    }
}

std::optional<CandidateFilter::Answer> IndexFilter::answerWithoutWalk(const Candidate &candidate)
{
    const std::optional<QByteArray> key = keyOf(candidate.path);
    const std::optional<SelectedAnswers::Known> known =
        m_matcher && key ? m_selected->find(*key, *m_matcher) : std::nullopt;
    // what the index says a file holds, the file's bytes confirm: the indexer may be a moment
    // behind
    if (!known || known->state != FileState::Recorded || known->verdict.undecided ||
        !known->verdict.held.isEmpty()) {
        ++m_report.read;
        return std::nullopt;
    }
    ++m_report.answered;
    return Answer{{}, known->size};
}
