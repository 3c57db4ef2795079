#pragma once

#include "path_editor/main_window_link.h"
#include "search/cfindfile.h"
#include "search/search_run.h"
#include "widgets/busy_pointer.h"
#include "widgets/window_slot.h"

#include <QByteArrayList>
#include <QWidget>
#include <memory>
#include <optional>

class ClickableLabel;
class FolderList;
class Form2;
class frm_info;
class frmSplash;
class PathListModel;
class PictureButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QModelIndex;
class QPlainTextEdit;
class QPoint;
class QProgressBar;
class QPushButton;
class QSlider;
class QTimer;
class SettingsStore;
class WhereUsedWindow;
namespace platform {
class DeferredLabelText;
}

// The main window: search input, result list, detail panel and notes pad, and the search run
// that every start shares.
class Form1 : public QWidget, public MainWindowLink, private SearchSink
{
    Q_OBJECT

public:
    // A non-empty file argument searches that part's name in the current folder's assemblies
    // before the window is first shown.
    Form1(SettingsStore &store, const QString &fileArgument = QString());
    ~Form1() override;

    // lblStatus as the run set it last, painted or not
    QString statusText() const;
    bool isSearchRunning() const override { return m_runInProgress; }
    bool isSearchingContents() const override { return m_run && m_run->isSearchingContents(); }
    void pressCommand3() override;
    void setLabel1(const QString &text) override;
    QWidget *outerWindow() override { return this; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // window frame (form1.cpp)
    void buildControls();
    void setTabOrder();
    void Form_Load(const QString &fileArgument);
    void Form_Unload();
    void applyHeightLayout(double d);
    bool isNormalState() const;
    void Slider1_Scroll();
    void Timer1_Timer();
    void img_exit_Click();
    void UnloadAllForms();
    void lbl_aktpfad_DblClick();
    void Image1_Click();
    void img_info_Click();
    // Shows the window, or brings it to the front when it is shown already.
    static void showInFront(QWidget *window);
    Form2 *loadForm2();
    // Shows the editor, not modal, loading it first if needed.
    Form2 *showForm2();
    FolderList &folderList();

    // search run (form1_search_run.cpp)
    void RunSearch();
    void Command3_Click();
    void startWithFileArgument(const QString &fileArgument);
    void txt_textfind_KeyPress(const QString &keyText, int key);
    void img_stop_Click();
    // a stop was confirmed, or the window is closing: lbl_stop reads "1"
    bool isStopConfirmed() const;
    // what the run reports
    void folderStarted(const QByteArray &folder) override;
    void folderFinished(const QByteArray &folder) override;
    void candidateFound(const QByteArray &name, const QByteArray &folder) override;
    void folderNotListed(const QByteArray &folder, const QString &reason) override;
    void folderListedPartly(const QByteArray &folder, const QString &reason) override;
    void searching(const QByteArray &path, qint64 index, qint64 count) override;
    void progress(const QString &status) override;
    void hit(const Candidate &candidate, const QList<qsizetype> &texts) override;
    void fileNotRead(const QByteArray &path, const QString &reason) override;
    void idle() override;
    // Hands the run's deferred label texts over, before texts are set directly again.
    void showRunLabels();
    void reportOutcome();
    // Runs a search from a handler: errors become a message, never an escaping exception.
    void runSearchFromHandler();
    void requestStopForClose();

    // result list (form1_result_list.cpp)
    void List2_Click(const QModelIndex &index);
    void List2_DblClick(const QModelIndex &index);
    void Command1_Click();
    void cmd_purge_Click();
    void cmd_savefile_Click();
    void rememberHit(const QModelIndex &index);
    void openRememberedHit();

    // where-used window (form1_where_used.cpp)
    void List2_ContextMenu(const QPoint &position);
    void txt_textfind_ContextMenu(const QPoint &position);
    void whereUsedShortcut_Activated();
    void showWhereUsed(const QString &name);
    void buildWhereUsedStarts();

    // notes pad (form1_notes_pad.cpp)
    void cmd_opennote_Click();
    void Label8_DblClick();
    void img_putlisttoinfo_Click();
    void Command7_Click();
    void restoreNotes();
    QString notesToStore() const;
    void takeNotes(const QStringList &lines);
    void setNarrowWidth();
    void widenForNotes();
    bool isMaximised() const;
    void appendToNotes(const QString &text);

    SettingsStore &m_store;
    WindowSlot<Form2> m_form2;
    WindowSlot<frmSplash> m_splash;
    WindowSlot<frm_info> m_info;
    WindowSlot<WhereUsedWindow> m_whereUsed;
    cFindFile *nSearch = nullptr;
    // the run every start shares; it holds the stop request
    std::unique_ptr<SearchRun> m_run;
    RunOutcome m_runOutcome = RunOutcome::Done;
    // what the index did for the last run
    QString m_indexNote;
    std::optional<BusyPointer> m_busyPointer;
    qint64 nCount = 0;
    bool m_runInProgress = false;
    bool m_closeAfterRun = false;
    bool m_exiting = false;
    bool m_shownBefore = false;
    // the folder akt_dir shows, as the bytes that search it
    QByteArray m_workingFolder;
    // folders of the current run that could not be listed, and candidates that could not be read
    QList<cFindFile::UnlistedFolder> m_unlistedFolders;
    QByteArrayList m_unreadable;
    // the bytes of the path Label3 shows, which open the file
    QByteArray m_rememberedHit;
    // the narrow width as the window reported it right after it was set
    int m_narrowWidth = 0;
    // whether the notes pad holds stored line breaks as line separators (see notes_text.h)
    bool m_notesLineSeparatorsAreBreaks = false;

    PathListModel *m_candidates;
    PathListModel *m_results;
    PathListModel *m_searchedFolders;
    // whether the last run searched the sub-folders of m_searchedFolders
    bool m_searchedSubfolders = true;
    // lblStatus and lbl_aktpfad as the run changes them per entry and per block
    platform::DeferredLabelText *m_runStatus;
    platform::DeferredLabelText *m_runPath;

    QGroupBox *frame_file;
    QLineEdit *txt_textfind;
    QPushButton *Command3;
    QLabel *Label2;
    QLabel *lbl_stop;
    PictureButton *img_stop;
    QComboBox *com_krit;
    QCheckBox *chk_under;
    QLabel *Label5;
    QSlider *Slider1;
    QLabel *Label4;
    QLabel *lbl_Autor;
    QLabel *Label1;
    PictureButton *Image1;
    PictureButton *img_info;
    QPushButton *cmd_opennote;
    QListView *List2;
    QLabel *Picture1;
    QListView *List1;
    QListView *List_temp;
    QLabel *akt_dir;
    QTimer *Timer1;
    QGroupBox *Frame1;
    QLabel *lbl_filetime;
    QLabel *Label10;
    ClickableLabel *Label8;
    QPushButton *Command1;
    QLabel *Label6;
    QLabel *Label9;
    QLabel *Label3;
    QPushButton *cmd_purge;
    QPushButton *cmd_savefile;
    QProgressBar *PBar;
    PictureButton *img_exit;
    QLabel *lblStatus;
    ClickableLabel *lbl_aktpfad;
    QLabel *lbl_notizen;
    PictureButton *img_putlisttoinfo;
    QPushButton *Command7;
    QPlainTextEdit *txt_note;
};
