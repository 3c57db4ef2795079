#pragma once

#include "where_used/searched_folders.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QListWidget;

// "Verzeichnisse wählen": the folders searched, ticked, then the saved list with its ticks; a
// folder of the machine may be added, and a marked folder's parent put in its place.
class FolderChoiceDialog : public QDialog
{
    Q_OBJECT

public:
    FolderChoiceDialog(const SearchedFolders &searched, const QList<OfferedFolder> &offered,
                       QWidget *parent);

    // The ticked folders, in list order, and the sub-folder box.
    SearchedFolders chosen() const;

private:
    void addEntry(const QByteArray &path, bool ticked);
    void addFolder_Click();
    void levelUp_Click();

    QListWidget *folderChoice;
    QCheckBox *subfolders;
};
