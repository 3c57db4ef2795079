#pragma once

#include <QTreeWidget>

// The folders of one volume as a tree, each branch listed when it is first opened. Names are the
// file system's bytes, shown decoded, so a folder whose name is not valid text is shown and chosen
// like any other.
class FolderTree : public QTreeWidget
{
    Q_OBJECT

public:
    explicit FolderTree(QWidget *parent = nullptr);

    // The chosen folder's full path; the top of the tree is the volume.
    QByteArray path() const;
    // Shows the volume's tree (again only when it is another volume), opened down to the folder,
    // which lies on it, and chooses that folder. Folders on the way that cannot be found end the
    // way there.
    void showFolder(const QByteArray &volume, const QByteArray &folder);

Q_SIGNALS:
    // Another folder was chosen, by the user or by showFolder.
    void pathChanged();

private:
    // The volume the tree shows.
    QByteArray volume() const;
    void listSubfolders(QTreeWidgetItem *item);
    QTreeWidgetItem *subfolder(QTreeWidgetItem *item, const QByteArray &name);
    QTreeWidgetItem *addSubfolder(QTreeWidgetItem *item, const QByteArray &name);
};
