#pragma once

#include "search/search_run.h"
#include "where_used/searched_folders.h"
#include "where_used/where_used_question.h"
#include "widgets/form.h"

#include <QByteArrayList>
#include <QList>
#include <QStringList>
#include <functional>
#include <memory>

class cFindFile;
class PictureButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class WhereUsedGraph;
class WhereUsedModel;
class WhereUsedPictureView;
class WhereUsedTreeView;
namespace platform {
class DeferredLabelText;
}

// "Verwendungsnachweis": where a part is used, up to its top assemblies and their drawings, as a
// tree and as a picture. The levels are searched from the event loop, one after the other, each
// shown as soon as it is done; the window stays usable meanwhile.
class WhereUsedWindow : public Form, private SearchSink
{
    Q_OBJECT

public:
    // takeNotes: adds the marked files' paths to the notes pad
    explicit WhereUsedWindow(std::function<void(const QStringList &)> takeNotes);
    ~WhereUsedWindow() override;

    // Shows the question's tree as it is searched; false while a search is under way. Without
    // folders, the window says so and waits for the user to choose them.
    bool ask(const WhereUsedQuestion &question);
    // The saved folder list, offered by "Verzeichnisse wählen…" beside the folders searched.
    void setOfferedFolders(const QList<OfferedFolder> &offered) { m_offered = offered; }
    // the folders the last search covered, and what the folder line says of them
    const SearchedFolders &searchedFolders() const { return m_searched; }
    bool isSearching() const { return m_searching; }
    // what the last search found, once it has ended
    const WhereUsedGraph &graph() const { return *m_graph; }
    // The working folder, where the exports go.
    void setExportFolder(const QByteArray &folder) { m_exportFolder = folder; }

signals:
    // A level's files are in the tree; the drawings come as the level after the last.
    void levelShown(int level);
    // The search has ended, its tree and picture are shown.
    void searchFinished();

protected:
    void Form_Unload() override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildControls();
    void layoutControls();
    void runSearch();
    void levelDone(int level);
    void showOutcome(RunOutcome outcome);
    void expandRows(const QModelIndex &index, int &rowsLeft);
    void showFolders();
    void drawPicture();
    void markPictureBoxes();
    void newestOnly_Toggled(bool on);
    void chooseFolders_Click();
    void expandAll_Click();
    void tree_DblClick(const QModelIndex &index);
    void toNotes_Click();
    void stop_Click();
    void saveExport(const QByteArray &path, const QByteArray &contents);
    void savePicture(const char *format);

    // what the run reports
    void candidateFound(const QByteArray &name, const QByteArray &folder) override;
    void folderNotListed(const QByteArray &folder, const QString &reason) override;
    void searching(const QByteArray &path, qint64 index, qint64 count) override;
    void fileNotRead(const QByteArray &path, const QString &reason) override;
    void idle() override;

    std::function<void(const QStringList &)> m_takeNotes;
    WhereUsedQuestion m_question;
    SearchedFolders m_searched;
    QList<OfferedFolder> m_offered;
    QByteArray m_exportFolder;
    cFindFile *m_finder;
    std::unique_ptr<SearchRun> m_run;
    std::unique_ptr<WhereUsedGraph> m_graph;
    WhereUsedModel *m_model = nullptr;
    bool m_searching = false;
    int m_level = 1;
    qint64 m_candidates = 0;
    QByteArrayList m_notRead;

    QLabel *lblPart;
    QCheckBox *newestOnly;
    QLabel *lblFolders;
    QPushButton *chooseFolders;
    QLineEdit *filter;
    QPushButton *expandAll;
    QPushButton *collapseAll;
    QPushButton *fitPicture;
    WhereUsedTreeView *tree;
    WhereUsedPictureView *pictureView;
    QPushButton *toNotes;
    QPushButton *saveText;
    QPushButton *saveCsv;
    QPushButton *saveSvg;
    QPushButton *savePng;
    QProgressBar *progressBar;
    PictureButton *stop;
    QLabel *lblStatus;
    QLabel *lblPath;
    platform::DeferredLabelText *m_status;
    platform::DeferredLabelText *m_path;
};
