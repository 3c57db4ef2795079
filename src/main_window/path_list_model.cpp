#include "main_window/path_list_model.h"
#include "platform/display_text.h"

QString PathListModel::textAt(int position) const
{
    return platform::displayText(m_paths.at(position));
}

void PathListModel::append(const QByteArray &path)
{
    const int row = count();
    beginInsertRows(QModelIndex(), row, row);
    m_paths.append(path);
    endInsertRows();
}

void PathListModel::blank(const QList<int> &positions)
{
    if (positions.isEmpty())
        return;
    for (int position : positions)
        m_paths[position].clear();
    Q_EMIT dataChanged(index(positions.first()), index(positions.last()));
}

void PathListModel::clear()
{
    beginResetModel();
    m_paths.clear();
    endResetModel();
}

int PathListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant PathListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return textAt(index.row());
    case PathBytesRole:
        return m_paths.at(index.row());
    default:
        return {};
    }
}
