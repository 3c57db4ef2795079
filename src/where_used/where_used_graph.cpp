#include "where_used/where_used_graph.h"

#include "platform/display_text.h"
#include "platform/file_lookup.h"
#include "platform/windows_1252.h"
#include "search/name_analysis.h"

#include <algorithm>

namespace {

qint64 leadingNumber(const QString &revision)
{
    qsizetype digits = 0;
    while (digits < revision.size() && digits < 18 && revision.at(digits).isDigit())
        ++digits;
    return digits == 0 ? 0 : revision.left(digits).toLongLong();
}

int typeRank(const QString &type)
{
    if (type.compare(u"asm", Qt::CaseInsensitive) == 0)
        return 0;
    if (type.compare(u"drw", Qt::CaseInsensitive) == 0)
        return 1;
    return 2;
}

} // namespace

WhereUsedGraph::WhereUsedGraph(const QString &partName, const QByteArray &rootFile)
{
    if (!rootFile.isEmpty())
        m_root = describe(rootFile);
    m_root.name = partName;
    if (rootFile.isEmpty())
        m_root.baseName = m_root.fileName = partName;
}

WhereUsedGraph::File WhereUsedGraph::describeName(const QByteArray &path)
{
    File file;
    file.path = path;
    file.fileName = platform::fileNameText(path.sliced(platform::nameStart(path)));
    file.baseName = Zerlege(file.fileName);
    file.name = file.baseName.toUpper();
    const QStringList pieces = file.fileName.mid(file.baseName.size() + 1).split(u'.');
    file.type = pieces.constFirst();
    if (pieces.size() > 1)
        file.revision = pieces.constLast();
    file.revisionNumber = leadingNumber(file.revision);
    return file;
}

WhereUsedGraph::File WhereUsedGraph::describe(const QByteArray &path)
{
    File file = describeName(path);
    file.folder = platform::displayText(path.left(platform::nameStart(path)));
    return file;
}

bool WhereUsedGraph::isUseType(const QString &type)
{
    return typeRank(type) < 2;
}

bool WhereUsedGraph::isDrawing(const File &file)
{
    return typeRank(file.type) == 1;
}

QString WhereUsedGraph::revisionKey(const File &file)
{
    return file.name + u'.' + file.type.toLower();
}

void WhereUsedGraph::noteCandidate(const File &candidate)
{
    qint64 &newest = m_newest[revisionKey(candidate)];
    newest = std::max(newest, candidate.revisionNumber);
}

void WhereUsedGraph::addFile(const QByteArray &path, int level, const QStringList &heldNames)
{
    File found = describe(path);
    found.level = level;
    const qsizetype index = m_files.size();
    m_files.append(std::move(found));
    for (const QString &name : heldNames) {
        QList<qsizetype> &holders = m_holders[name];
        holders.insert(
            std::upper_bound(holders.begin(), holders.end(), index,
                             [this](qsizetype a, qsizetype b) { return comesBefore(a, b); }),
            index);
    }
}

bool WhereUsedGraph::comesBefore(qsizetype a, qsizetype b) const
{
    const File &x = m_files.at(a);
    const File &y = m_files.at(b);
    if (const int rank = typeRank(x.type) - typeRank(y.type); rank != 0)
        return rank < 0;
    if (const int byName = x.baseName.compare(y.baseName, Qt::CaseInsensitive); byName != 0)
        return byName < 0;
    if (const int byType = x.type.compare(y.type, Qt::CaseInsensitive); byType != 0)
        return byType < 0;
    if (x.revisionNumber != y.revisionNumber)
        return x.revisionNumber > y.revisionNumber;
    return x.path < y.path;
}

bool WhereUsedGraph::isNewest(qsizetype index) const
{
    const File &file = m_files.at(index);
    return file.revisionNumber >= m_newest.value(revisionKey(file), file.revisionNumber);
}

QList<TreeChild> treeChildren(const WhereUsedGraph &graph, const QString &name,
                              const QSet<QString> &namesAbove, bool newestOnly)
{
    const QList<qsizetype> holders = graph.holdersOf(name);
    // the names and types whose newest revision holds the name: their older ones are current
    QSet<QString> currentKeys;
    for (const qsizetype holder : holders) {
        if (graph.isNewest(holder))
            currentKeys.insert(WhereUsedGraph::revisionKey(graph.file(holder)));
    }
    QList<TreeChild> children;
    for (const qsizetype holder : holders) {
        const WhereUsedGraph::File &file = graph.file(holder);
        const bool newest = graph.isNewest(holder);
        if (newestOnly && !newest)
            continue;
        children.append({holder,
                         !newest && !currentKeys.contains(WhereUsedGraph::revisionKey(file)),
                         !WhereUsedGraph::isDrawing(file) && namesAbove.contains(file.name)});
    }
    return children;
}

bool TreeChild::hasRowsBelow(const WhereUsedGraph &graph) const
{
    return !cycle && !WhereUsedGraph::isDrawing(graph.file(file)) &&
           !graph.holdersOf(graph.file(file).name).isEmpty();
}
