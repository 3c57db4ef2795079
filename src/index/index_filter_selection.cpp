// The index filter's answers through a store that selects files itself.

#include "index/index_connection.h"
#include "index/index_filter.h"
#include "index/index_location.h"
#include "platform/wildcard_pattern.h"

#include <QSet>
#include <algorithm>

QList<Candidate> IndexFilter::candidatesOf(
    const QByteArray &pattern,
    const std::function<QList<StoreSelection::File>(const QByteArray &folder)> &select,
    const std::function<bool(const StoreSelection::File &)> &keep) const
{
    const platform::WildcardPattern names(pattern);
    QList<Candidate> candidates;
    QSet<QByteArray> listed;
    for (const Folder &folder : m_folders) {
        // a folder named twice, or inside another one named: its files once
        QSet<QByteArray> listedHere;
        for (const StoreSelection::File &file : select(folderKey(folder.canonical))) {
            if (listed.contains(file.folder) || !names.matches(file.name) || !keep(file))
                continue;
            listedHere.insert(file.folder);
            const QByteArray recorded = folderPrefix(file.folder);
            candidates.append(
                {folder.given + recorded.sliced(folder.canonical.size()) + file.name, {}});
        }
        listed.unite(listedHere);
    }
    return candidates;
}

QList<Candidate> IndexFilter::selectedCandidates(const QByteArray &pattern, bool inclSubfolders,
                                                 const QList<QList<QByteArray>> &texts)
{
    std::optional<RunsMatcher> matcher;
    if (!texts.isEmpty())
        matcher.emplace(texts);
    try {
        return candidatesOf(
            pattern,
            [&](const QByteArray &folder) {
                return m_selected->listFiles(folder, inclSubfolders, matcher ? &*matcher : nullptr);
            },
            [](const StoreSelection::File &) { return true; });
    } catch (const IndexError &error) {
        stopAnswering(reasonOf(error.problem));
        return {};
    }
}

std::optional<QList<Candidate>>
IndexFilter::candidatesWithoutWalk(const QByteArray &pattern, bool inclSubfolders,
                                   const QList<QList<QByteArray>> &texts)
{
    auto *selection = dynamic_cast<StoreSelection *>(m_store.get());
    const qint64 lag = m_report.office.lagMs;
    if (m_use != Use::Search || !selection || lag < 0 || lag > currentLagMs)
        return std::nullopt;
    const RunsMatcher matcher(texts);
    if (!matcher.canRuleOut())
        return std::nullopt;
    try {
        // while the indexer sweeps, the records of a folder may not hold every file yet
        const QList<IndexedFolder> indexed = m_store->folders();
        for (const Folder &folder : m_folders) {
            const QByteArray key = folderKey(folder.canonical);
            if (std::none_of(indexed.begin(), indexed.end(), [&](const IndexedFolder &entry) {
                    return entry.complete && isInside(key, entry.path);
                }))
                return std::nullopt;
        }
        QList<Candidate> candidates = candidatesOf(
            pattern,
            [&](const QByteArray &folder) {
                return selection->filesHolding(folder, inclSubfolders, matcher.needles());
            },
            [&](const StoreSelection::File &file) {
                if (file.state != FileState::Recorded)
                    return true;
                const RunsMatcher::Verdict verdict = matcher.verdictOn(file.needles);
                return !verdict.held.isEmpty() || verdict.undecided;
            });
        m_report.withoutWalk = true;
        m_report.read = candidates.size();
        return candidates;
    } catch (const IndexError &) {
        // the walk asks the server again, and reads every file when it fails
        return std::nullopt;
    }
}
