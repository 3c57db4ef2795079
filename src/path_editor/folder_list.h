#pragma once

#include "settings/save_result.h"

#include <QAbstractListModel>
#include <QByteArrayList>
#include <QList>

class SettingsStore;

// The tickable list of folders that searches may cover. It lives as long as the editor window
// that holds it; ticks are never stored.
class FolderList : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit FolderList(QObject *parent = nullptr);

    int count() const;
    QString entryText(int position) const;
    // The folder's path as bytes, for searching it.
    QByteArray entryPath(int position) const;
    bool isTicked(int position) const;
    // The paths of the ticked entries, in list order: the folders a search covers.
    QByteArrayList tickedPaths() const;
    void append(const QString &text);
    // For a folder whose name may not be valid UTF-8: the text shows it, the bytes search it.
    void appendPath(const QByteArray &path);
    void tick(int position);
    void remove(int position);

    // Replaces the contents with the stored entries, none ticked.
    void load(const SettingsStore &store);
    // Writes every entry (as its bytes) and "ANZI", ticks excluded, and syncs the store.
    SaveResult save(SettingsStore &store) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    bool isValidPosition(int position) const;
    void setTicked(int position, bool ticked);

    struct Entry
    {
        QString text;
        QByteArray path;
        bool ticked = false;
    };
    QList<Entry> m_entries;
};
