#include "index/index_connection.h"

#include "index/index_location.h"
#include "index/postgres_store.h"
#include "settings/index_server_setting.h"

#include <algorithm>

namespace {

// How long ago the office indexer caught up with every change under the folders, or -1 when
// one of them has no indexer running now.
qint64 lagOf(PostgresStore &store, const QByteArrayList &folders)
{
    const QList<PostgresStore::Watch> watches = store.watches();
    qint64 lag = 0;
    for (const QByteArray &folder : folders) {
        const QByteArray canonical = canonicalFolder(folder);
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

} // namespace

QByteArray officeIndexServer(const QByteArray &given)
{
    if (!given.isEmpty())
        return given;
    const QByteArray environment = qgetenv("SPURWERK_INDEX_DB");
    return environment.isEmpty() ? indexServerSetting() : environment;
}

std::unique_ptr<IndexFilter> openIndex(const QByteArrayList &folders, IndexFilter::Use use,
                                       IndexReport &report, const QByteArray &server)
{
    report = {};
    if (!server.isEmpty() && !folders.isEmpty()) {
        report.office.set = true;
        try {
            auto store = std::make_unique<PostgresStore>(server, PostgresStore::Mode::Read);
            IndexReport office = report;
            office.office.used = true;
            office.office.lagMs = lagOf(*store, folders);
            if (std::unique_ptr<IndexFilter> filter =
                    IndexFilter::openOn(std::move(store), folders, use, office)) {
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
