#include "index/index_connection.h"

#include "index/index_location.h"
#include "index/postgres_store.h"
#include "settings/index_server_setting.h"

#include <algorithm>

namespace {

// How long ago the office indexer caught up with every change under the folders (as the index
// keys them), or -1 when one of them has no indexer running now.
qint64 lagOf(PostgresStore &store, const QByteArrayList &keys)
{
    const QList<PostgresStore::Watch> watches = store.watches();
    qint64 lag = 0;
    for (const QByteArray &canonical : keys) {
        const auto watch =
            std::find_if(watches.begin(), watches.end(), [&](const PostgresStore::Watch &entry) {
                return !canonical.isEmpty() && isInside(canonical, entry.folder) &&
                       entry.heartbeatAgeMs <= heartbeatLimitMs;
            });
        if (watch == watches.end())
            return -1;
        lag = std::max(lag, watch->caughtUpAgeMs);
    }
    return lag;
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
            office.office.lagMs = lagOf(*store, mapped.keys);
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
