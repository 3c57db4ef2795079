#include "where_used/where_used_tree_view.h"

#include "platform/display_text.h"
#include "platform/file_lookup.h"
#include "where_used/where_used_model.h"
#include "widgets/desktop_opener.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>

#include <algorithm>
#include <functional>

WhereUsedTreeView::WhereUsedTreeView(QWidget *parent)
    : QTreeView(parent)
{
    setObjectName(QStringLiteral("tree"));
    setAccessibleName(QStringLiteral("Verwendungsbaum"));
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // a double-click opens the file; the row stays as it was
    setExpandsOnDoubleClick(false);
    // the folders' beginnings are alike, their ends tell them apart
    setTextElideMode(Qt::ElideMiddle);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &WhereUsedTreeView::showRowMenu);
}

void WhereUsedTreeView::setWhereUsedModel(WhereUsedModel *model)
{
    m_hidden.clear();
    m_model = model;
    setModel(model);
}

bool WhereUsedTreeView::expandEverything()
{
    const bool whole = m_model->fetchAll(rowLimit);
    const QModelIndex part = m_model->index(0, 0);
    setUpdatesEnabled(false);
    // Below a closed row an expansion is only noted; the part's then lays out every row at once.
    collapse(part);
    const std::function<void(const QModelIndex &)> expandBelow = [&](const QModelIndex &index) {
        for (int row = 0; row < m_model->rowCount(index); ++row) {
            const QModelIndex child = m_model->index(row, 0, index);
            if (m_model->rowCount(child) > 0) {
                expandBelow(child);
                expand(child);
            }
        }
    };
    expandBelow(part);
    expand(part);
    setUpdatesEnabled(true);
    return whole;
}

void WhereUsedTreeView::collapseToPart()
{
    collapseAll();
    expand(m_model->index(0, 0));
}

void WhereUsedTreeView::setNameFilter(const QString &text)
{
    for (const QPersistentModelIndex &row : std::as_const(m_hidden)) {
        if (row.isValid())
            setRowHidden(row.row(), row.parent(), false);
    }
    m_hidden.clear();
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return;
    expandEverything();
    // a row stays when its name holds the text or a row below it stays
    const std::function<bool(const QModelIndex &)> stays = [&](const QModelIndex &index) {
        bool any = index.data().toString().contains(wanted, Qt::CaseInsensitive);
        for (int row = 0; row < m_model->rowCount(index); ++row) {
            const QModelIndex child = m_model->index(row, 0, index);
            if (stays(child)) {
                any = true;
            } else {
                setRowHidden(row, index, true);
                m_hidden.append(child);
            }
        }
        return any;
    };
    stays(m_model->index(0, 0));
}

QByteArrayList WhereUsedTreeView::markedPaths() const
{
    QModelIndexList marked = selectionModel()->selectedRows();
    std::sort(marked.begin(), marked.end(), [this](const QModelIndex &a, const QModelIndex &b) {
        return visualRect(a).top() < visualRect(b).top();
    });
    QByteArrayList paths;
    for (const QModelIndex &row : std::as_const(marked)) {
        const QByteArray path = row.data(WhereUsedModel::PathBytesRole).toByteArray();
        if (!path.isEmpty())
            paths.append(path);
    }
    return paths;
}

void WhereUsedTreeView::showFile(qsizetype file)
{
    const QModelIndex row = m_model->rowOf(file);
    if (!row.isValid())
        return;
    for (QModelIndex above = row.parent(); above.isValid(); above = above.parent())
        expand(above);
    setCurrentIndex(row);
    selectionModel()->select(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(row);
}

void WhereUsedTreeView::openMarked()
{
    for (const QByteArray &path : markedPaths())
        platform::openFile(window(), path);
}

void WhereUsedTreeView::openMarkedFolders()
{
    QByteArrayList folders;
    for (const QByteArray &path : markedPaths()) {
        const QByteArray folder = path.left(platform::nameStart(path));
        if (!folders.contains(folder))
            folders.append(folder);
    }
    for (const QByteArray &folder : std::as_const(folders))
        platform::openFile(window(), folder.isEmpty() ? QByteArrayLiteral(".") : folder);
}

void WhereUsedTreeView::copyMarkedPaths()
{
    QStringList lines;
    for (const QByteArray &path : markedPaths())
        lines.append(platform::displayText(path));
    if (!lines.isEmpty())
        QApplication::clipboard()->setText(lines.join(u'\n'));
}

void WhereUsedTreeView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copyMarkedPaths();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void WhereUsedTreeView::showRowMenu(const QPoint &position)
{
    const QModelIndex row = indexAt(position);
    if (!row.isValid())
        return;
    if (!selectionModel()->isRowSelected(row.row(), row.parent()))
        selectionModel()->select(row,
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const bool hasFile = !markedPaths().isEmpty();
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("treeMenu"));
    menu.addAction(QStringLiteral("Öffnen"), this, &WhereUsedTreeView::openMarked)
        ->setEnabled(hasFile);
    menu.addAction(QStringLiteral("Ordner öffnen"), this, &WhereUsedTreeView::openMarkedFolders)
        ->setEnabled(hasFile);
    QAction *copy =
        menu.addAction(QStringLiteral("Pfad kopieren"), this, &WhereUsedTreeView::copyMarkedPaths);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(hasFile);
    menu.exec(viewport()->mapToGlobal(position));
}
