#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// What the where-used levels found, as a graph: each file once, with the names of the level
// before that it holds. A file sits below every file whose name it holds, so its parents are
// found by name.
class WhereUsedGraph
{
public:
    struct File
    {
        QByteArray path;           // empty for a part given by its name alone
        QString fileName;          // "getriebe.asm.2"
        QString baseName;          // "getriebe"
        QString type;              // "asm"
        QString revision;          // "2", empty when the name has none
        qint64 revisionNumber = 0; // the revision's leading number, 0 without one
        QString name;              // the name other files hold: "GETRIEBE"
        QString folder;            // for display, ends with the separator
        int level = 0;             // 0: the part
    };

    // rootFile: the part file the question came from, or empty for a typed name
    WhereUsedGraph(const QString &partName, const QByteArray &rootFile = {});

    const File &root() const { return m_root; }
    // An assembly or drawing of the walk: its revision may be the newest of its name.
    void noteCandidate(const File &candidate);
    void addFile(const QByteArray &path, int level, const QStringList &heldNames);

    qsizetype fileCount() const { return m_files.size(); }
    const File &file(qsizetype index) const { return m_files.at(index); }
    // The files that hold the name: assemblies, then drawings, by name, newest revision first.
    QList<qsizetype> holdersOf(const QString &name) const { return m_holders.value(name); }
    // No candidate of the walk has a later revision of this file's name and type.
    bool isNewest(qsizetype index) const;
    // Only assemblies and drawings use a part; a part holding the name is none of its uses.
    static bool isUseType(const QString &type);
    // A drawing ends its branch: it shares its assembly's name, but nothing holds a drawing.
    static bool isDrawing(const File &file);
    // Splits a path into the pieces a row shows; describeName leaves the folder out.
    static File describe(const QByteArray &path);
    static File describeName(const QByteArray &path);
    // Revisions of one file share it: its name and its type.
    static QString revisionKey(const File &file);

private:
    bool comesBefore(qsizetype a, qsizetype b) const;

    File m_root;
    QList<File> m_files;
    QHash<QString, QList<qsizetype>> m_holders;
    // the highest revision number among the walk's candidates, by name and type
    QHash<QString, qint64> m_newest;
};

// How a file stands below one of its parents.
struct TreeChild
{
    qsizetype file;
    // an older revision holds the name, the newest does not: no current use
    bool stale = false;
    // its name is one of the names above it: the branch ends here
    bool cycle = false;

    // whether files that hold its name go below it
    bool hasRowsBelow(const WhereUsedGraph &graph) const;
};

// The rows below a node of the name: the files that hold it, each marked; namesAbove holds the
// names on the way from the part down to that node, the node's own included.
QList<TreeChild> treeChildren(const WhereUsedGraph &graph, const QString &name,
                              const QSet<QString> &namesAbove, bool newestOnly);
