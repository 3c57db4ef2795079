#pragma once

#include "platform/windows/form.h"

class FolderList;
class MainWindowLink;
class QLabel;
class QListView;
class QPushButton;
class SettingsStore;

// The search-path editor: the tickable folder list, and the start of a run over its ticks.
class Form2 : public Form
{
    Q_OBJECT

public:
    Form2(SettingsStore &store, const MainWindowLink &mainWindow);

    FolderList &folderList() { return *m_folderList; }

private:
    void Form_Load();

    SettingsStore &m_store;
    const MainWindowLink &m_mainWindow;
    FolderList *m_folderList;

    QLabel *Label8;
    QListView *List1;
    QPushButton *cmd_search;
    QLabel *lbl_status;
};
