// The index filter's answers through a store that selects files itself.

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

std::optional<QList<CandidateFilter::Listing>>
IndexFilter::candidatesWithoutWalk(const QByteArrayList &folders, const QByteArray &pattern,
                                   bool inclSubfolders, const QList<QList<QByteArray>> &texts)
{
    StoreSelection *selection = m_store->selection();
    // not for a text the runs cannot rule out anywhere, nor after a failure
    if (m_use != Use::Search || !selection || !m_report.office.current ||
        m_report.reason != IndexReport::Reason::Answered || folders.size() != m_folders.size())
        return std::nullopt;
    for (qsizetype folder = 0; folder < folders.size(); ++folder) {
        if (folderPrefix(folders.at(folder)) != m_folders.at(folder).given)
            return std::nullopt;
    }
    // the folders the indexer is not told of are walked, and only those
    QList<Listing> listings(folders.size());
    QByteArrayList walked;
    for (const UncoveredFolder &uncovered : std::as_const(m_report.office.uncovered)) {
        const QByteArray prefix = folderPrefix(uncovered.folder);
        for (qsizetype folder = 0; folder < folders.size(); ++folder) {
            const bool whole = prefix == m_folders.at(folder).given;
            if (!whole && (!inclSubfolders || !prefix.startsWith(m_folders.at(folder).given)))
                continue;
            // a run's folder the indexer is not told of: the walk of it is the run
            if (whole)
                return std::nullopt;
            listings[folder].toWalk.append(uncovered.folder);
            walked.append(prefix);
        }
    }
    const auto isWalked = [&](const QByteArray &path) {
        return std::any_of(walked.cbegin(), walked.cend(),
                           [&](const QByteArray &folder) { return path.startsWith(folder); });
    };
    try {
        auto selected = std::make_unique<SelectedAnswers>(*selection);
        const RunsMatcher *byNeedles = !texts.isEmpty() && m_matcher ? &*m_matcher : nullptr;
        const QList<QList<Candidate>> candidates = candidatesOf(
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
        for (qsizetype folder = 0; folder < folders.size(); ++folder) {
            for (const Candidate &candidate : candidates.at(folder)) {
                if (!isWalked(candidate.path))
                    listings[folder].candidates.append(candidate);
            }
        }
        if (m_matcher)
            selected->beginPass(*m_matcher);
        m_selected = std::move(selected);
        m_walkedAnyway = walked;
        m_report.withoutWalk = true;
        m_report.walkedAnyway = walked.size();
        return listings;
    } catch (const IndexError &) {
        // the walk asks the server again, and reads every file when it fails
        return std::nullopt;
    }
}

std::optional<CandidateFilter::Answer> IndexFilter::answerWithoutWalk(const Candidate &candidate)
{
    const std::optional<QByteArray> key = keyOf(candidate.path);
    const bool walkedAnyway =
        std::any_of(m_walkedAnyway.cbegin(), m_walkedAnyway.cend(),
                    [&](const QByteArray &folder) { return candidate.path.startsWith(folder); });
    const std::optional<SelectedAnswers::Known> known =
        m_matcher && key && !walkedAnyway ? m_selected->find(*key, *m_matcher) : std::nullopt;
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
