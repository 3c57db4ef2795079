#include "index_tool/office_status.h"

#include "index/index_connection.h"
#include "index/index_format.h"
#include "index/index_location.h"
#include "index/postgres_store.h"
#include "platform/display_text.h"

#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>

namespace {

void line(const QString &text)
{
    std::printf("%s\n", text.toLocal8Bit().constData());
}

// The connection string without a password in it, should one have been written there.
QString withoutPassword(const QByteArray &connection)
{
    static const QRegularExpression password(QStringLiteral("password\\s*=\\s*('[^']*'|\\S+)"));
    return QString::fromUtf8(connection).replace(password, QStringLiteral("password=..."));
}

// the folders not kept current named, of all counted: a kernel without notices names every root
constexpr qsizetype uncoveredShown = 20;

// Why an indexer that runs does not keep the folder current now.
QString currencyNote(IndexerCurrency currency)
{
    switch (currency) {
    case IndexerCurrency::Sweeping:
        return QStringLiteral(" (a sweep runs)");
    case IndexerCurrency::Overflowed:
        return QStringLiteral(" (notices were lost; a sweep finds the changes)");
    case IndexerCurrency::Behind:
        return QStringLiteral(" (behind)");
    case IndexerCurrency::Current:
    case IndexerCurrency::Silent:
        break;
    }
    return {};
}

QString secondsAgo(qint64 ms)
{
    return QStringLiteral("%1 s ago").arg(double(ms) / 1000, 0, 'f', 1);
}

// A folder's lines; whether its indexer keeps it current.
bool showFolder(const IndexedFolder &folder, const QList<IndexerState> &watches,
                const QList<PostgresStore::Root> &roots, const QList<UncoveredFolder> &uncovered,
                const IndexMap &map)
{
    const QByteArray local = localFolderOf(map, folder.path);
    line(platform::displayText(folder.path) +
         (local.isEmpty() ? QString()
                          : QStringLiteral(" (here %1)").arg(platform::displayText(local))));
    line(QStringLiteral("  %1 files, %2 MB")
             .arg(folder.files)
             .arg(double(folder.bytes) / 1e6, 0, 'f', 1));
    const auto watch = std::find_if(watches.begin(), watches.end(),
                                    [&](const auto &entry) { return entry.folder == folder.path; });
    bool current = folder.complete;
    if (watch == watches.end()) {
        line(QStringLiteral("  indexer: has not caught up with it yet"));
        current = false;
    } else {
        const IndexerCurrency currency = currencyOf(*watch);
        line(QStringLiteral("  indexer: said it runs %1%2; caught up with every change %3%4")
                 .arg(secondsAgo(watch->heartbeatAgeMs),
                      currency == IndexerCurrency::Silent ? QStringLiteral(" (silent: stopped?)")
                                                          : QString(),
                      secondsAgo(watch->caughtUpAgeMs), currencyNote(currency)));
        current = current && currency == IndexerCurrency::Current;
    }
    const auto root = std::find_if(roots.begin(), roots.end(),
                                   [&](const auto &entry) { return entry.folder == folder.path; });
    if (root == roots.end() || root->sweptMs == 0) {
        line(QStringLiteral("  last sweep: none finished yet"));
    } else {
        line(QStringLiteral("  last sweep: ended %1, took %2 s%3")
                 .arg(QDateTime::fromMSecsSinceEpoch(root->sweptMs)
                          .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                 .arg(double(root->sweepMs) / 1000, 0, 'f', 1)
                 .arg(folder.complete ? QString() : QStringLiteral("; a sweep runs now")));
    }
    QList<UncoveredFolder> here;
    std::copy_if(uncovered.begin(), uncovered.end(), std::back_inserter(here),
                 [&](const UncoveredFolder &entry) { return isInside(entry.folder, folder.path); });
    if (!here.isEmpty()) {
        line(QStringLiteral("  %1 folders not kept current (desktops read them themselves):")
                 .arg(here.size()));
        for (qsizetype entry = 0; entry < std::min<qsizetype>(here.size(), uncoveredShown); ++entry)
            line(QStringLiteral("    %1: %2")
                     .arg(platform::displayText(here.at(entry).folder), here.at(entry).reason));
        if (here.size() > uncoveredShown)
            line(QStringLiteral("    ..."));
    }
    return current;
}

} // namespace

int showOfficeStatus(const QByteArray &server, const IndexMap &map)
{
    line(QStringLiteral("office index: %1").arg(withoutPassword(server)));
    if (!map.problem.isEmpty()) {
        line(QStringLiteral("  folder mapping not valid: ") + map.problem);
        return 2;
    }
    try {
        PostgresStore store(server, PostgresStore::Mode::Read);
        const QList<PostgresStore::Root> roots = store.roots();
        QList<RootNames> names;
        for (const PostgresStore::Root &root : roots)
            names.append({root.folder, root.topNames});
        const QString refused = mapFolders(map, {}, names).refused;
        line(QStringLiteral("  layout %1").arg(IndexFormat::postgresLayout));
        const QList<IndexerState> watches = store.watches();
        const QList<UncoveredFolder> uncovered = store.uncovered();
        bool current = true;
        const QList<IndexedFolder> folders = store.folders();
        for (const IndexedFolder &folder : folders)
            current = showFolder(folder, watches, roots, uncovered, map) && current;
        if (!refused.isEmpty()) {
            line(QStringLiteral("folder mapping refused: ") + refused);
            return 2;
        }
        if (folders.isEmpty()) {
            line(QStringLiteral("no folder indexed yet"));
            return 1;
        }
        line(current ? QStringLiteral("office index current")
                     : QStringLiteral("office index not current: desktops walk the folders"));
        return current ? 0 : 1;
    } catch (const IndexError &error) {
        line(QStringLiteral("  cannot be asked: ") + error.detail);
        return 2;
    }
}
