#include "index/index_map.h"

#include "index/index_location.h"
#include "platform/display_text.h"
#include "settings/index_server_setting.h"

#include <algorithm>
#include <sys/stat.h>

namespace {

QString pairText(const IndexMap::Pair &pair)
{
    return platform::displayText(pair.server + '=' + pair.local);
}

IndexMap bad(const QString &from, const QString &why)
{
    return {{}, from + QStringLiteral(": ") + why};
}

// the pieces of a ";"-separated list; empty ones (a trailing ";") are no pairs
QByteArrayList listed(const QByteArray &text)
{
    QByteArrayList pairs = text.split(';');
    pairs.removeAll(QByteArray());
    return pairs;
}

bool exists(const QByteArray &path)
{
    struct stat status;
    return ::stat(path.constData(), &status) == 0;
}

// Whether the local folder holds the tree whose top the names are: none of them there is plainly
// another tree (or none at all); an empty top tells nothing.
bool holdsTree(const QByteArray &local, const QByteArrayList &names)
{
    return names.isEmpty() || std::any_of(names.begin(), names.end(), [&](const QByteArray &name) {
               return exists(folderPrefix(local) + name);
           });
}

// The path inside from, moved to the same place inside to.
QByteArray rebased(const QByteArray &path, const QByteArray &from, const QByteArray &to)
{
    const QByteArray rest = path.sliced(from == "/" ? 0 : from.size());
    if (to == "/")
        return rest.isEmpty() ? to : rest;
    return to + rest;
}

} // namespace

IndexMap parseIndexMap(const QByteArrayList &pairs, const QString &from)
{
    IndexMap map;
    for (const QByteArray &given : pairs) {
        const qsizetype equals = given.indexOf('=');
        if (equals < 0) {
            return bad(from, QStringLiteral("\"%1\" is no SERVER=LOCAL pair: it has no \"=\"")
                                 .arg(platform::displayText(given)));
        }
        const IndexMap::Pair pair{folderKey(given.first(equals)),
                                  folderKey(given.sliced(equals + 1))};
        for (const QByteArray &side : {pair.server, pair.local}) {
            if (!side.startsWith('/')) {
                return bad(from,
                           QStringLiteral("\"%1\" is not an absolute path (in \"%2\")")
                               .arg(platform::displayText(side), platform::displayText(given)));
            }
        }
        for (const IndexMap::Pair &earlier : std::as_const(map.pairs)) {
            if (earlier.server == pair.server) {
                return bad(from, QStringLiteral("the server folder %1 is given twice")
                                     .arg(platform::displayText(pair.server)));
            }
        }
        map.pairs.append(pair);
    }
    // A local folder at or inside a server folder would be mapped again: a loop, or a path the
    // desktop could mean two ways. A pair of one path twice maps nothing.
    for (const IndexMap::Pair &one : std::as_const(map.pairs)) {
        for (const IndexMap::Pair &other : std::as_const(map.pairs)) {
            if (&one == &other && one.local == one.server)
                continue;
            if (isInside(one.local, other.server)) {
                return bad(from, QStringLiteral("%1 and %2 map a folder again (a loop)")
                                     .arg(pairText(one), pairText(other)));
            }
        }
    }
    return map;
}

IndexMap officeIndexMap(const QByteArrayList &given)
{
    if (!given.isEmpty())
        return parseIndexMap(given, QStringLiteral("--index-map"));
    const QByteArray environment = qgetenv("SPURWERK_INDEX_MAP");
    if (!environment.isEmpty())
        return parseIndexMap(listed(environment), QStringLiteral("SPURWERK_INDEX_MAP"));
    return parseIndexMap(listed(indexMapSetting()), QStringLiteral("the settings' [Index] Map"));
}

QByteArray localFolderOf(const IndexMap &map, const QByteArray &serverFolder)
{
    const IndexMap::Pair *mapping = nullptr;
    for (const IndexMap::Pair &pair : map.pairs) {
        if (isInside(serverFolder, pair.server) &&
            (!mapping || pair.server.size() > mapping->server.size()))
            mapping = &pair;
    }
    return mapping ? rebased(serverFolder, mapping->server, mapping->local) : QByteArray();
}

MappedFolders mapFolders(const IndexMap &map, const QByteArrayList &folders,
                         const QList<RootNames> &roots)
{
    MappedFolders mapped;
    QList<IndexMap::Pair> resolved;
    for (const IndexMap::Pair &pair : map.pairs) {
        const QByteArray local = canonicalFolder(pair.local);
        if (local.isEmpty()) {
            mapped.refused = QStringLiteral("mapping %1: the local folder %2 does not exist")
                                 .arg(pairText(pair), platform::displayText(pair.local));
            return mapped;
        }
        for (const RootNames &root : roots) {
            if (!isInside(root.root, pair.server))
                continue;
            const QByteArray localRoot = rebased(root.root, pair.server, local);
            if (!holdsTree(localRoot, root.names)) {
                mapped.refused =
                    QStringLiteral("mapping %1: %2 holds another tree than %3 on the server")
                        .arg(pairText(pair), platform::displayText(localRoot),
                             platform::displayText(root.root));
                return mapped;
            }
        }
        resolved.append({pair.server, local});
    }
    for (const QByteArray &folder : folders) {
        const QByteArray canonical = canonicalFolder(folder);
        // the innermost local folder: a share may be mounted inside another one's folder
        const IndexMap::Pair *mapping = nullptr;
        for (const IndexMap::Pair &pair : std::as_const(resolved)) {
            if (!canonical.isEmpty() && isInside(canonical, pair.local) &&
                (!mapping || pair.local.size() > mapping->local.size()))
                mapping = &pair;
        }
        mapped.keys.append(mapping ? rebased(canonical, mapping->local, mapping->server)
                                   : canonical);
    }
    return mapped;
}
