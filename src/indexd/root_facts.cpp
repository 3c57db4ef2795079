#include "indexd/root_facts.h"

#include "index/index_location.h"

#include <QDateTime>
#include <algorithm>
#include <dirent.h>

namespace {

// enough that a desktop's other tree shares none of them by chance
constexpr qsizetype topNameCount = 8;

// The first names at the folder's top, by byte order, so that each sweep names the same ones.
QByteArrayList topNames(const QByteArray &folder)
{
    QByteArrayList names;
    DIR *entries = ::opendir(folder.constData());
    if (!entries)
        return names;
    while (const dirent *entry = ::readdir(entries)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(entries);
    std::sort(names.begin(), names.end());
    return names.mid(0, topNameCount);
}

} // namespace

PostgresStore::Root rootFacts(const QByteArray &root, qint64 sweepMs)
{
    return {root, topNames(root), QDateTime::currentMSecsSinceEpoch(), sweepMs};
}
