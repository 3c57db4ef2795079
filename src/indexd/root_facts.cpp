#include "indexd/root_facts.h"

#include "platform/folder_listing.h"

#include <QDateTime>
#include <algorithm>

namespace {

// enough that a desktop's other tree shares none of them by chance
constexpr qsizetype topNameCount = 8;

// The first names at the folder's top, by byte order, so that each sweep names the same ones.
QByteArrayList topNames(const QByteArray &folder)
{
    QByteArrayList names;
    platform::FolderListing listing(folder);
    while (listing.next()) {
        if (listing.name() != "." && listing.name() != "..")
            names.append(listing.name().toByteArray());
    }
    std::sort(names.begin(), names.end());
    return names.mid(0, topNameCount);
}

} // namespace

PostgresStore::Root rootFacts(const QByteArray &root, qint64 sweepMs)
{
    return {root, topNames(root), QDateTime::currentMSecsSinceEpoch(), sweepMs};
}
