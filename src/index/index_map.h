#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>

// A desktop's mapping of the file server's folders to its own ("/srv/cad=/mnt/cad"), so that it
// asks the office index, which keys its records by the server's paths, for the share it mounts
// elsewhere.
struct IndexMap
{
    struct Pair
    {
        QByteArray server; // absolute, without a trailing "/" (but "/")
        QByteArray local;
    };
    QList<Pair> pairs;
    // bad input, naming the setting it came from; the pairs are then empty
    QString problem;
};

// The pairs, each "SERVER=LOCAL"; from: the setting they came from, for the problem's words.
IndexMap parseIndexMap(const QByteArrayList &pairs, const QString &from);

// The desktop's mapping: the command line's pairs, else SPURWERK_INDEX_MAP's, else key "Map" of
// the settings' section "Index" (both with pairs separated by ";").
IndexMap officeIndexMap(const QByteArrayList &given = {});

// The desktop's path for a folder of the server (through the innermost pair that covers it);
// empty when no pair does.
QByteArray localFolderOf(const IndexMap &map, const QByteArray &serverFolder);

// A few names at the top of a folder the indexer watches, by which a desktop tells its own
// folder for it.
struct RootNames
{
    QByteArray root;
    QByteArrayList names;
};

// The run's folders as the office index keys them: the server's path where a pair covers the
// folder, else its own canonical path. refused names the pair (both paths) whose local folder
// does not exist or plainly holds another tree than the server's, going by the names.
struct MappedFolders
{
    QByteArrayList keys;
    QString refused;
};
MappedFolders mapFolders(const IndexMap &map, const QByteArrayList &folders,
                         const QList<RootNames> &roots);
