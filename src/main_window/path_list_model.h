#pragma once

#include <QAbstractListModel>
#include <QByteArrayList>

// A list of paths kept as the file system's bytes and shown decoded, so a name that is not valid
// in the local encoding can still be searched and opened.
class PathListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    static constexpr int PathBytesRole = Qt::UserRole;

    int count() const { return static_cast<int>(m_paths.size()); }
    QByteArray pathAt(int position) const { return m_paths.at(position); }
    QString textAt(int position) const;
    const QByteArrayList &paths() const { return m_paths; }
    void append(const QByteArray &path);
    // Empties the entries at these ascending positions; they keep their places and marks.
    void blank(const QList<int> &positions);
    void clear();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QByteArrayList m_paths;
};
