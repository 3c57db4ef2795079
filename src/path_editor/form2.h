#pragma once

#include "widgets/form.h"

#include <optional>

class BrowsePanel;
class FolderList;
class MainWindowLink;
class QLabel;
class QLineEdit;
class QListView;
class QModelIndex;
class QPushButton;
class SettingsStore;

// The search-path editor: the tickable folder list, its editing and saving, and the start of a
// run over its ticks.
class Form2 : public Form
{
    Q_OBJECT

public:
    Form2(SettingsStore &store, MainWindowLink &mainWindow);

    FolderList &folderList() { return *m_folderList; }
    // True once "Suchen" asked the main window for a run.
    bool isSearchRequested() const;
    void setSearchEnabled(bool enabled);

private:
    void buildControls();
    void setTabOrder();
    void Form_Load();
    void cmd_brows_Click();
    void List1_Click(const QModelIndex &index);
    void Command3_Click();
    void Text3_KeyPress();
    void Command4_Click();
    void Command2_Click();
    void cmd_search_Click();
    void placeBesideMainWindow();
    void fillText3(const QByteArray &path);
    QByteArray text3Path() const;

    SettingsStore &m_store;
    MainWindowLink &m_mainWindow;
    FolderList *m_folderList;
    // the path Text3 was last filled with, as bytes; it stands for Text3 while the text is
    // unchanged
    QByteArray m_text3Path;
    // the row of List1 last clicked, which "-" removes; Label9 shows it
    std::optional<int> m_clickedRow;
    // "Suchen" has pressed the main window's "Suche starten"; lbl_status shows "suche..."
    bool m_searchRequested = false;

    QLabel *Label8;
    QLineEdit *Text6;
    QListView *List1;
    QPushButton *cmd_search;
    QLineEdit *Text3;
    QPushButton *Command3;
    QPushButton *Command4;
    QPushButton *cmd_brows;
    QPushButton *Command2;
    QLabel *Label9;
    QLabel *lbl_status;
    BrowsePanel *Frame2;
};
