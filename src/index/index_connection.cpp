#include "index/index_connection.h"

#include "index/index_location.h"
#include "index/postgres_store.h"
#include "platform/long_path.h"
#include "settings/index_server_setting.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace {

// The indexer's state of the run's folders (keys: as the index keys them): how long ago it
// caught up with every change under them, whether it is current, and the folders under them it
// is not told of (as the run names them; those gone are no hole).
void readIndexerState(PostgresStore &store, const QByteArrayList &folders,
                      const QByteArrayList &keys, IndexReport::Office &office)
{
    const QList<IndexerState> watches = store.watches();
    QByteArrayList canonical;
    office.lagMs = 0;
    office.current = true;
    for (const QByteArray &key : keys) {
        canonical.append(key);
        const auto watch =
            std::find_if(watches.begin(), watches.end(), [&](const IndexerState &entry) {
                return !canonical.constLast().isEmpty() &&
                       isInside(canonical.constLast(), entry.folder) &&
                       currencyOf(entry) != IndexerCurrency::Silent;
            });
        if (watch == watches.end()) {
            office.lagMs = -1;
            office.current = false;
            return;
        }
        office.lagMs = std::max(office.lagMs, watch->caughtUpAgeMs);
        // a notice the indexer had not taken in when asked would not be in its state
        office.current = office.current && currencyOf(*watch) == IndexerCurrency::Current &&
                         store.answeredFolders().contains(watch->folder);
    }
    for (const UncoveredFolder &entry : store.uncovered()) {
        for (qsizetype folder = 0; folder < folders.size(); ++folder) {
            QByteArray given = folderKey(folders.at(folder));
            if (isInside(entry.folder, canonical.at(folder)) &&
                entry.folder != canonical.at(folder))
                given = folderPrefix(given) +
                        entry.folder.sliced(folderPrefix(canonical.at(folder)).size());
            else if (!isInside(canonical.at(folder), entry.folder))
                continue;
            struct stat status;
            if (platform::statPath(given, &status) != 0 && errno == ENOENT)
                continue;
            office.uncovered.append({given, entry.reason});
        }
    }
}

// The names the indexer found at the top of each folder it watches, when the desktop maps any.
QList<RootNames> rootNamesOf(PostgresStore &store, const IndexMap &map)
{
    QList<RootNames> roots;
    if (map.pairs.isEmpty())
        return roots;
    for (const PostgresStore::Root &root : store.roots())
        roots.append({root.folder, root.topNames});
    return roots;
}

} // namespace

QByteArray officeIndexServer(const QByteArray &given)
{
    if (!given.isEmpty())
        return given;
    const QByteArray environment = qgetenv("SPURWERK_INDEX_DB");
    return environment.isEmpty() ? indexServerSetting() : environment;
}

std::unique_ptr<IndexFilter> openIndex(const QByteArrayList &folders, IndexFilter::Use use,
                                       IndexReport &report, const QByteArray &server,
                                       const IndexMap &map)
{
    report = {};
    // a mapping not valid is said even without a server: the settings are wrong either way
    if (!folders.isEmpty() && !map.problem.isEmpty()) {
        report.office.set = true;
        report.office.reason = IndexReport::Reason::BadMapping;
        report.office.detail = map.problem;
    } else if (!server.isEmpty() && !folders.isEmpty()) {
        report.office.set = true;
        try {
            auto store = std::make_unique<PostgresStore>(server, PostgresStore::Mode::Read);
            const MappedFolders mapped = mapFolders(map, folders, rootNamesOf(*store, map));
            if (!mapped.refused.isEmpty()) {
                report.office.reason = IndexReport::Reason::MappingRefused;
                report.office.detail = mapped.refused;
                return IndexFilter::open(indexFile(), folders, use, report);
            }
            IndexReport office = report;
            office.office.used = true;
            readIndexerState(*store, folders, mapped.keys, office.office);
            if (std::unique_ptr<IndexFilter> filter =
                    IndexFilter::openOn(std::move(store), folders, use, office, mapped.keys)) {
                report = office;
                return filter;
            }
            report.office.reason = office.reason;
        } catch (const IndexError &error) {
            report.office.reason = reasonOf(error.problem);
            report.office.detail = error.detail;
        }
    }
    return IndexFilter::open(indexFile(), folders, use, report);
}

IndexInUse::IndexInUse(SearchRun &run, const QByteArrayList &folders, bool open)
    : m_run(run)
    , m_index(open ? openIndex(folders, IndexFilter::Use::Search, m_opened) : nullptr)
{
    m_run.setCandidateFilter(m_index.get());
}

IndexInUse::~IndexInUse()
{
    m_run.setCandidateFilter(nullptr);
}
