#pragma once

#include "where_used/where_used_graph.h"

#include <QAbstractItemModel>

#include <vector>

// The where-used graph as a tree: the part at the root, below each node the files that hold its
// name. A node's rows are made when it is first expanded, so a tree of any depth costs only what
// is shown; a file sits below each of its parents, and a branch ends where a name comes back.
class WhereUsedModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Column
    {
        NameColumn,
        TypeColumn,
        RevisionColumn,
        MarkColumn,
        FolderColumn,
        DateColumn,
        ColumnCount
    };
    static constexpr int PathBytesRole = Qt::UserRole;
    // the row's file in the graph, -1 for the part
    static constexpr int FileRole = Qt::UserRole + 1;

    explicit WhereUsedModel(const WhereUsedGraph &graph, QObject *parent = nullptr);

    // "nur neueste Revision": rows of older revisions go; the tree is made anew.
    void setNewestOnly(bool newestOnly);
    bool isNewestOnly() const { return m_newestOnly; }
    // The graph has grown by a level: nodes shown without rows get those that hold their name.
    void levelAdded();
    // The graph was made anew.
    void reset();
    // Makes the rows below every node, breadth first, until the tree holds rowLimit rows; false
    // when the limit left some unmade.
    bool fetchAll(int rowLimit);
    // A row of the file, made where none is yet; invalid when the file is in no row.
    QModelIndex rowOf(qsizetype file);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct Node
    {
        qsizetype file; // -1: the part
        int parent;     // -1: none
        int row;
        TreeChild mark;
        bool fetched = false;
        QList<int> children;
    };

    const WhereUsedGraph::File &fileOf(const Node &node) const;
    int nodeOf(const QModelIndex &index) const;
    // makes the node's rows, between the model's insert signals when it is shown already
    void fetch(int node, bool announce);
    void clearNodes();

    const WhereUsedGraph &m_graph;
    bool m_newestOnly = false;
    std::vector<Node> m_nodes;
};
