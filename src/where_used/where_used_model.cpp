#include "where_used/where_used_model.h"

#include "platform/file_lookup.h"

WhereUsedModel::WhereUsedModel(const WhereUsedGraph &graph, QObject *parent)
    : QAbstractItemModel(parent)
    , m_graph(graph)
{
    clearNodes();
}

void WhereUsedModel::clearNodes()
{
    m_nodes.clear();
    m_nodes.push_back({-1, -1, 0, {-1}, false, {}});
}

void WhereUsedModel::reset()
{
    beginResetModel();
    clearNodes();
    endResetModel();
}

void WhereUsedModel::setNewestOnly(bool newestOnly)
{
    if (newestOnly == m_newestOnly)
        return;
    m_newestOnly = newestOnly;
    reset();
}

void WhereUsedModel::levelAdded()
{
    // the names of a level's files are looked for at the next level only, so only nodes that had
    // no rows can gain some
    const std::size_t shown = m_nodes.size();
    bool unmade = false;
    for (std::size_t node = 0; node < shown; ++node) {
        if (m_nodes[node].fetched && m_nodes[node].children.isEmpty()) {
            m_nodes[node].fetched = false;
            fetch(static_cast<int>(node), true);
        }
        unmade = unmade || !m_nodes[node].fetched;
    }
    // A view keeps whether a row has rows below from when it laid the row out: one shown before
    // this level would show no expand arrow.
    if (unmade) {
        emit layoutAboutToBeChanged();
        emit layoutChanged();
    }
}

bool WhereUsedModel::fetchAll(int rowLimit)
{
    for (std::size_t node = 0; node < m_nodes.size(); ++node) {
        if (m_nodes.size() >= std::size_t(rowLimit))
            return false;
        fetch(static_cast<int>(node), true);
    }
    return true;
}

QModelIndex WhereUsedModel::rowOf(qsizetype file)
{
    // breadth first: the row nearest the part
    for (std::size_t node = 0; node < m_nodes.size(); ++node) {
        if (m_nodes[node].file == file)
            return createIndex(m_nodes[node].row, 0, quintptr(node));
        fetch(static_cast<int>(node), true);
    }
    return {};
}

const WhereUsedGraph::File &WhereUsedModel::fileOf(const Node &node) const
{
    return node.file < 0 ? m_graph.root() : m_graph.file(node.file);
}

int WhereUsedModel::nodeOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<int>(index.internalId()) : -1;
}

void WhereUsedModel::fetch(int node, bool announce)
{
    if (m_nodes[node].fetched)
        return;
    m_nodes[node].fetched = true;
    if (node > 0 && !m_nodes[node].mark.hasRowsBelow(m_graph))
        return;
    QSet<QString> namesAbove;
    for (int above = node; above >= 0; above = m_nodes[above].parent)
        namesAbove.insert(fileOf(m_nodes[above]).name);
    const QList<TreeChild> children =
        treeChildren(m_graph, fileOf(m_nodes[node]).name, namesAbove, m_newestOnly);
    if (children.isEmpty())
        return;
    if (announce)
        beginInsertRows(createIndex(m_nodes[node].row, 0, quintptr(node)), 0,
                        static_cast<int>(children.size()) - 1);
    for (const TreeChild &child : children) {
        const int row = static_cast<int>(m_nodes[node].children.size());
        m_nodes[node].children.append(static_cast<int>(m_nodes.size()));
        m_nodes.push_back({child.file, node, row, child, false, {}});
    }
    if (announce)
        endInsertRows();
}

QModelIndex WhereUsedModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!parent.isValid())
        return row == 0 ? createIndex(0, column, quintptr(0)) : QModelIndex();
    const Node &above = m_nodes[nodeOf(parent)];
    if (row < 0 || row >= above.children.size() || column < 0 || column >= ColumnCount)
        return {};
    return createIndex(row, column, quintptr(above.children.at(row)));
}

QModelIndex WhereUsedModel::parent(const QModelIndex &child) const
{
    const int node = nodeOf(child);
    if (node <= 0)
        return {};
    const int above = m_nodes[node].parent;
    return createIndex(m_nodes[above].row, 0, quintptr(above));
}

int WhereUsedModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return 1;
    if (parent.column() > 0)
        return 0;
    return static_cast<int>(m_nodes[nodeOf(parent)].children.size());
}

int WhereUsedModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

bool WhereUsedModel::hasChildren(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return true;
    const Node &node = m_nodes[nodeOf(parent)];
    if (node.fetched)
        return !node.children.isEmpty();
    if (nodeOf(parent) == 0)
        return !m_graph.holdersOf(m_graph.root().name).isEmpty();
    return node.mark.hasRowsBelow(m_graph);
}

bool WhereUsedModel::canFetchMore(const QModelIndex &parent) const
{
    return parent.isValid() && !m_nodes[nodeOf(parent)].fetched;
}

void WhereUsedModel::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid())
        fetch(nodeOf(parent), true);
}

QVariant WhereUsedModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const Node &node = m_nodes[nodeOf(index)];
    const WhereUsedGraph::File &file = fileOf(node);
    if (role == PathBytesRole)
        return file.path;
    if (role == FileRole)
        return node.file;
    if (role == Qt::ToolTipRole && index.column() == FolderColumn)
        return file.folder;
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    switch (index.column()) {
    case NameColumn:
        return file.baseName;
    case MarkColumn:
        if (node.mark.cycle)
            return QStringLiteral("Kreisbezug");
        if (node.mark.stale)
            return QStringLiteral("veraltet");
        return QString();
    case TypeColumn:
        return file.type;
    case RevisionColumn:
        return file.revision;
    case FolderColumn:
        return file.folder;
    case DateColumn: {
        // asked as the row is shown, not for every file found: a large tree shows few of them
        const std::optional<QDateTime> modified = platform::modificationTime(file.path);
        // as German users read it, whatever the machine's locale
        return modified ? modified->toString(QStringLiteral("dd.MM.yyyy HH:mm")) : QString();
    }
    default:
        return {};
    }
}

QVariant WhereUsedModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList headers{QStringLiteral("Name"),        QStringLiteral("Typ"),
                                     QStringLiteral("Revision"),    QStringLiteral("Vermerk"),
                                     QStringLiteral("Verzeichnis"), QStringLiteral("Datum")};
    return headers.value(section);
}
