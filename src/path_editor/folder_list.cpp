#include "path_editor/folder_list.h"

#include "platform/display_text.h"
#include "settings/settings_store.h"

FolderList::FolderList(QObject *parent)
    : QAbstractListModel(parent)
{}

int FolderList::count() const
{
    return static_cast<int>(m_entries.size());
}

QString FolderList::entryText(int position) const
{
    return isValidPosition(position) ? m_entries.at(position).text : QString();
}

bool FolderList::isTicked(int position) const
{
    return isValidPosition(position) && m_entries.at(position).ticked;
}

QByteArrayList FolderList::tickedPaths() const
{
    QByteArrayList paths;
    for (const Entry &entry : m_entries) {
        if (entry.ticked)
            paths.append(entry.path);
    }
    return paths;
}

QByteArray FolderList::entryPath(int position) const
{
    return isValidPosition(position) ? m_entries.at(position).path : QByteArray();
}

void FolderList::append(const QString &text)
{
    beginInsertRows(QModelIndex(), count(), count());
    m_entries.append(Entry{text, text.toLocal8Bit()});
    endInsertRows();
}

void FolderList::appendPath(const QByteArray &path)
{
    beginInsertRows(QModelIndex(), count(), count());
    m_entries.append(Entry{platform::displayText(path), path});
    endInsertRows();
}

void FolderList::tick(int position)
{
    setTicked(position, true);
}

void FolderList::remove(int position)
{
    if (!isValidPosition(position))
        return;
    beginRemoveRows(QModelIndex(), position, position);
    m_entries.removeAt(position);
    endRemoveRows();
}

void FolderList::load(const SettingsStore &store)
{
    const int lastIndex = store.folderLastIndex();
    QList<Entry> entries;
    entries.reserve(lastIndex + 1);
    for (int index = 0; index <= lastIndex; ++index) {
        const QByteArray path = store.folderEntry(index);
        entries.append(Entry{platform::displayText(path), path});
    }

    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

SaveResult FolderList::save(SettingsStore &store) const
{
    for (int index = 0; index < count(); ++index)
        store.setFolderEntry(index, m_entries.at(index).path);
    // Keys from count() upward stay as they are: the load stops at this index.
    store.setValue(SettingsStore::Key::FolderLastIndex, QString::number(count() - 1));
    return store.sync();
}

int FolderList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant FolderList::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const Entry &entry = m_entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return entry.text;
    case Qt::CheckStateRole:
        return static_cast<int>(entry.ticked ? Qt::Checked : Qt::Unchecked);
    default:
        return QVariant();
    }
}

bool FolderList::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    setTicked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags FolderList::flags(const QModelIndex &index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
           Qt::ItemNeverHasChildren;
}

bool FolderList::isValidPosition(int position) const
{
    return position >= 0 && position < count();
}

void FolderList::setTicked(int position, bool ticked)
{
    if (!isValidPosition(position) || m_entries.at(position).ticked == ticked)
        return;
    m_entries[position].ticked = ticked;
    const QModelIndex changed = index(position);
    Q_EMIT dataChanged(changed, changed, {Qt::CheckStateRole});
}
