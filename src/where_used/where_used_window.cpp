#include "where_used/where_used_window.h"

#include "index/index_connection.h"
#include "platform/display_text.h"
#include "platform/event_pump.h"
#include "platform/text_file.h"
#include "platform/working_folder.h"
#include "search/cfindfile.h"
#include "where_used/folder_choice_dialog.h"
#include "where_used/where_used_export.h"
#include "where_used/where_used_graph.h"
#include "where_used/where_used_model.h"
#include "where_used/where_used_picture.h"
#include "where_used/where_used_picture_view.h"
#include "where_used/where_used_search.h"
#include "where_used/where_used_tree_view.h"
#include "widgets/busy_pointer.h"
#include "widgets/controls.h"
#include "widgets/deferred_label_text.h"
#include "widgets/desktop_opener.h"
#include "widgets/message_box.h"
#include "widgets/picture_button.h"
#include "widgets/throttled_event_pump.h"
#include "widgets/twips.h"
#include "widgets/window_geometry.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>

using controls::place;

namespace {

// The window's frame in twips: a margin, the rows above and below the tree and the picture.
constexpr int margin = 120;
constexpr int foldersRow = 510;
constexpr int treeButtonsRow = 930;
constexpr int topRow = 1350;
constexpr int chooseWidth = 2500;
constexpr int bottomRows = 1500;
constexpr int startWidth = 16500;
constexpr int startHeight = 9600;

// The picture is drawn up to this many files, which Graphviz lays out in under a second while
// the window waits (bench/README.md).
constexpr qsizetype filesInPicture = 400;
// A tree this small is shown expanded to the top at the end, up to this many rows; a larger one
// is expanded by the user, node by node.
constexpr qsizetype filesExpanded = 40;
constexpr int rowsExpanded = 400;

const QColor lightYellow(255, 255, 192);

QString counted(qsizetype count, const char *one, const char *many)
{
    return QString::number(count) + u' ' + QString::fromUtf8(count == 1 ? one : many);
}

QPushButton *button(const QString &caption, QWidget *parent)
{
    auto *pushButton = new QPushButton(caption, parent);
    pushButton->setEnabled(false);
    return pushButton;
}

QPushButton *namedButton(const QString &caption, const char *name, QWidget *parent)
{
    auto *pushButton = new QPushButton(caption, parent);
    pushButton->setObjectName(QLatin1String(name));
    pushButton->setAccessibleName(caption);
    return pushButton;
}

} // namespace

WhereUsedWindow::WhereUsedWindow(std::function<void(const QStringList &)> takeNotes)
    : Form(nullptr, Qt::Window)
    , m_takeNotes(std::move(takeNotes))
    , m_exportFolder(platform::workingFolder())
{
    buildControls();
    platform::installThrottledEventPump();
    m_finder = new cFindFile(this);
    m_run = std::make_unique<SearchRun>(*m_finder);
    resize(twipsToPixels(startWidth), twipsToPixels(startHeight));
    window_geometry::centreOnScreen(this);
}

WhereUsedWindow::~WhereUsedWindow() = default;

void WhereUsedWindow::buildControls()
{
    setObjectName(QStringLiteral("WhereUsedWindow"));
    setWindowTitle(QStringLiteral("Verwendungsnachweis"));
    setAccessibleName(windowTitle());
    setWindowIcon(QIcon(QStringLiteral(":/images/spurwerk.png")));
    setFont(controls::sansFont());
    setMinimumSize(twipsToPixels(9000), twipsToPixels(5000));

    lblPart = place(new QLabel(this), "lblPart", margin, margin, 9000, 315);
    lblPart->setFont(controls::sansFont(9.75, true));
    newestOnly = place(new QCheckBox(QStringLiteral("nur neueste Revision"), this), "newestOnly", 0,
                       margin, 2500, 255);
    connect(newestOnly, &QCheckBox::toggled, this, &WhereUsedWindow::newestOnly_Toggled);

    // a screen reader reads the folders from the label's text (an accessible name would hide it)
    lblFolders = new QLabel(this);
    lblFolders->setObjectName(QStringLiteral("lblFolders"));
    lblFolders->setTextFormat(Qt::PlainText);
    chooseFolders = namedButton(QStringLiteral("Verzeichnisse wählen…"), "chooseFolders", this);
    connect(chooseFolders, &QPushButton::clicked, this, &WhereUsedWindow::chooseFolders_Click);

    filter = new QLineEdit(this);
    filter->setObjectName(QStringLiteral("filter"));
    filter->setAccessibleName(QStringLiteral("Namen filtern"));
    filter->setPlaceholderText(filter->accessibleName());
    filter->setClearButtonEnabled(true);
    expandAll = namedButton(QStringLiteral("alle aufklappen"), "expandAll", this);
    connect(expandAll, &QPushButton::clicked, this, &WhereUsedWindow::expandAll_Click);
    collapseAll = namedButton(QStringLiteral("alle zuklappen"), "collapseAll", this);
    fitPicture = namedButton(QStringLiteral("Einpassen"), "fitPicture", this);
    fitPicture->setToolTip(QStringLiteral("Das ganze Bild zeigen (Strg und Mausrad zoomen)"));

    tree = new WhereUsedTreeView(this);
    connect(tree, &QAbstractItemView::doubleClicked, this, &WhereUsedWindow::tree_DblClick);
    connect(collapseAll, &QPushButton::clicked, tree, &WhereUsedTreeView::collapseToPart);
    connect(filter, &QLineEdit::textChanged, tree, &WhereUsedTreeView::setNameFilter);

    pictureView = new WhereUsedPictureView(this);
    connect(fitPicture, &QPushButton::clicked, pictureView, &WhereUsedPictureView::fit);
    connect(pictureView, &WhereUsedPictureView::fileClicked, tree, &WhereUsedTreeView::showFile);

    toNotes = button(QStringLiteral("in Notizblatt"), this);
    toNotes->setObjectName(QStringLiteral("toNotes"));
    connect(toNotes, &QPushButton::clicked, this, &WhereUsedWindow::toNotes_Click);
    saveText = button(QStringLiteral("als Text speichern"), this);
    saveText->setObjectName(QStringLiteral("saveText"));
    connect(saveText, &QPushButton::clicked, this, [this] {
        saveExport(exportPath(m_exportFolder, m_question.name, "txt"),
                   whereUsedText(*m_graph, newestOnly->isChecked(), m_searched));
    });
    saveCsv = button(QStringLiteral("als CSV speichern"), this);
    saveCsv->setObjectName(QStringLiteral("saveCsv"));
    connect(saveCsv, &QPushButton::clicked, this, [this] {
        saveExport(exportPath(m_exportFolder, m_question.name, "csv"),
                   whereUsedCsv(*m_graph, newestOnly->isChecked(), m_searched));
    });
    saveSvg = button(QStringLiteral("Bild als SVG speichern"), this);
    saveSvg->setObjectName(QStringLiteral("saveSvg"));
    connect(saveSvg, &QPushButton::clicked, this, [this] { savePicture("svg"); });
    savePng = button(QStringLiteral("Bild als PNG speichern"), this);
    savePng->setObjectName(QStringLiteral("savePng"));
    connect(savePng, &QPushButton::clicked, this, [this] { savePicture("png"); });

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setAccessibleName(QStringLiteral("Fortschritt"));
    progressBar->setRange(0, 100);
    progressBar->setTextVisible(false);
    stop = new PictureButton(QStringLiteral(":/images/stop.png"), QStringLiteral("Suche abbrechen"),
                             this);
    stop->setObjectName(QStringLiteral("stop"));
    stop->hide();
    connect(stop, &QToolButton::clicked, this, &WhereUsedWindow::stop_Click);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setAccessibleName(QStringLiteral("Status"));
    m_status = new platform::DeferredLabelText(lblStatus);
    lblPath = new QLabel(this);
    lblPath->setObjectName(QStringLiteral("lblPath"));
    lblPath->setAccessibleName(QStringLiteral("Datei"));
    controls::setBackground(lblPath, lightYellow);
    m_path = new platform::DeferredLabelText(lblPath);
    for (QPushButton *pushButton : {toNotes, saveText, saveCsv, saveSvg, savePng})
        pushButton->setAccessibleName(pushButton->text());
    newestOnly->setAccessibleName(newestOnly->text());
}

// The tree and the picture share the room between the rows above and below them.
void WhereUsedWindow::layoutControls()
{
    const int width = pixelsToTwips(this->width());
    const int height = pixelsToTwips(this->height());
    const int paneHeight = height - topRow - bottomRows;
    const int treeWidth = (width - 3 * margin) / 2;
    newestOnly->setGeometry(twipsRect(width - margin - 2500, margin, 2500, 255));
    lblFolders->setGeometry(twipsRect(margin, foldersRow, width - 3 * margin - chooseWidth, 315));
    chooseFolders->setGeometry(
        twipsRect(width - margin - chooseWidth, foldersRow - 30, chooseWidth, 375));
    const int filterWidth = std::max(1500, treeWidth - 2 * (1700 + margin));
    filter->setGeometry(twipsRect(margin, treeButtonsRow, filterWidth, 345));
    expandAll->setGeometry(twipsRect(2 * margin + filterWidth, treeButtonsRow - 15, 1700, 375));
    collapseAll->setGeometry(
        twipsRect(3 * margin + filterWidth + 1700, treeButtonsRow - 15, 1700, 375));
    fitPicture->setGeometry(twipsRect(2 * margin + treeWidth, treeButtonsRow - 15, 1500, 375));
    tree->setGeometry(twipsRect(margin, topRow, treeWidth, paneHeight));
    pictureView->setGeometry(
        twipsRect(2 * margin + treeWidth, topRow, width - 3 * margin - treeWidth, paneHeight));
    showFolders();
    int left = margin;
    const int buttonsTop = height - bottomRows + margin;
    for (QPushButton *pushButton : {toNotes, saveText, saveCsv, saveSvg, savePng}) {
        const int buttonWidth = pushButton == toNotes ? 1500 : 2295;
        pushButton->setGeometry(twipsRect(left, buttonsTop, buttonWidth, 375));
        left += buttonWidth + margin;
    }
    stop->setGeometry(twipsRect(width - margin - 480, buttonsTop, 480, 480));
    progressBar->setGeometry(twipsRect(margin, buttonsTop + 495, width - 3 * margin - 480, 255));
    const int statusWidth = (width - 3 * margin) / 2;
    lblStatus->setGeometry(twipsRect(margin, height - 300, statusWidth, 255));
    lblPath->setGeometry(
        twipsRect(2 * margin + statusWidth, height - 300, width - 3 * margin - statusWidth, 255));
}

void WhereUsedWindow::resizeEvent(QResizeEvent *event)
{
    Form::resizeEvent(event);
    layoutControls();
}

bool WhereUsedWindow::ask(const WhereUsedQuestion &question)
{
    if (m_searching)
        return false;
    m_question = question;
    m_searching = true;
    // the caller's handler returns first: a context menu, or the start before the event loop
    QTimer::singleShot(0, this, &WhereUsedWindow::runSearch);
    return true;
}

void WhereUsedWindow::runSearch()
{
    const HandlerScope scope(this);
    const auto searchEnd = qScopeGuard([this] {
        m_status->flush();
        m_path->flush();
        stop->hide();
        m_searching = false;
    });

    lblPart->setText(QStringLiteral("Wo wird %1 verwendet?").arg(m_question.name));
    setWindowTitle(QStringLiteral("Verwendungsnachweis – ") + m_question.name);
    m_searched =
        existingFolders({m_question.folders, m_question.inclSubfolders, m_question.folderNotes});
    showFolders();
    m_graph = std::make_unique<WhereUsedGraph>(m_question.name, m_question.rootFile);
    auto *model = new WhereUsedModel(*m_graph, this);
    model->setNewestOnly(newestOnly->isChecked());
    // the view leaves the old model's selection model to its owner
    QItemSelectionModel *oldSelection = tree->selectionModel();
    tree->setWhereUsedModel(model);
    delete oldSelection;
    delete m_model;
    m_model = model;
    connect(tree->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &WhereUsedWindow::markPictureBoxes);
    filter->clear();
    tree->header()->setSectionResizeMode(QHeaderView::Interactive);
    // the date stays in sight at the window's first size; the folder is elided in its middle
    tree->setColumnWidth(WhereUsedModel::NameColumn, twipsToPixels(2600));
    tree->setColumnWidth(WhereUsedModel::TypeColumn, twipsToPixels(500));
    tree->setColumnWidth(WhereUsedModel::RevisionColumn, twipsToPixels(900));
    tree->setColumnWidth(WhereUsedModel::MarkColumn, twipsToPixels(1000));
    tree->setColumnWidth(WhereUsedModel::FolderColumn, twipsToPixels(1600));
    pictureView->clear();
    for (QPushButton *pushButton :
         {toNotes, saveText, saveCsv, saveSvg, savePng, chooseFolders, expandAll, collapseAll})
        pushButton->setEnabled(false);
    lblStatus->setToolTip(QString());
    if (m_searched.folders.isEmpty()) {
        lblStatus->setText(QStringLiteral("Es ist kein Suchpfad angehakt."));
        chooseFolders->setEnabled(true);
        emit searchFinished();
        return;
    }
    progressBar->setValue(0);
    m_notRead.clear();
    m_candidates = 0;
    m_level = 1;
    stop->show();

    WhereUsedQuestion searched = m_question;
    searched.folders = m_searched.folders;
    RunOutcome outcome = RunOutcome::Stopped;
    platform::runTellingErrors(this, [&] {
        // The index, where it covers the folders, spares each level the files that cannot hold
        // its names; the answer stays the scan's.
        const IndexInUse index(*m_run, searched.folders);
        const BusyPointer busy;
        WhereUsedSearch search(*m_graph, *this, index.filter());
        outcome = search.run(*m_run, searched, [this](int level) { levelDone(level); });
    });
    if (isUnloaded())
        return;
    showOutcome(outcome);
    emit searchFinished();
}

void WhereUsedWindow::levelDone(int level)
{
    m_model->levelAdded();
    if (level == 1)
        tree->expand(m_model->index(0, 0));
    m_level = level + 1;
    emit levelShown(level);
}

void WhereUsedWindow::showOutcome(RunOutcome outcome)
{
    m_status->flush();
    m_path->flush();
    // the box may have been changed while the levels were searched
    m_model->setNewestOnly(newestOnly->isChecked());
    m_model->levelAdded();
    if (int rowsLeft = rowsExpanded; m_graph->fileCount() <= filesExpanded)
        expandRows(m_model->index(0, 0), rowsLeft);
    else
        tree->expand(m_model->index(0, 0));
    progressBar->setValue(progressBar->maximum());
    const qsizetype found = m_graph->fileCount();
    int levels = 0;
    for (qsizetype file = 0; file < found; ++file) {
        if (!WhereUsedGraph::isDrawing(m_graph->file(file)))
            levels = std::max(levels, m_graph->file(file).level);
    }
    QString status;
    if (outcome == RunOutcome::Stopped)
        status = QStringLiteral("Suche abgebrochen: ") + counted(found, "Datei", "Dateien") +
                 QStringLiteral(" gefunden");
    else if (found == 0)
        status = QStringLiteral("Keine Baugruppe und keine Zeichnung verwendet ") + m_question.name;
    else
        status = QStringLiteral("%1 in %2 verwenden %3")
                     .arg(counted(found, "Datei", "Dateien"), counted(levels, "Ebene", "Ebenen"),
                          m_question.name);
    if (!m_notRead.isEmpty()) {
        status += QStringLiteral(" – %1 nicht lesbar").arg(m_notRead.size());
        QStringList shown;
        for (qsizetype i = 0; i < m_notRead.size() && i < 20; ++i)
            shown.append(platform::displayText(m_notRead.at(i)));
        lblStatus->setToolTip(QStringLiteral("Nicht durchsucht, da nicht lesbar:\n") +
                              shown.join(u'\n'));
    }
    lblStatus->setText(status);
    lblPath->clear();
    drawPicture();
    for (QPushButton *pushButton :
         {toNotes, saveText, saveCsv, saveSvg, savePng, chooseFolders, expandAll, collapseAll})
        pushButton->setEnabled(true);
}

// "Gesucht in: …" elided in the middle, where folders' paths are alike; every folder and note in
// the tool tip.
void WhereUsedWindow::showFolders()
{
    if (m_question.name.isEmpty()) {
        lblFolders->clear();
        return;
    }
    QString line = m_searched.folders.isEmpty()
                       ? QStringLiteral("Kein Verzeichnis gewählt: bitte wählen Sie mit "
                                        "„Verzeichnisse wählen…“, wo gesucht werden soll")
                       : QStringLiteral("Gesucht in: ") + foldersText(m_searched);
    QStringList tip{m_searched.inclSubfolders
                        ? QStringLiteral("Gesucht in (mit Unterverzeichnissen):")
                        : QStringLiteral("Gesucht in (ohne Unterverzeichnisse):")};
    for (const QByteArray &folder : std::as_const(m_searched.folders))
        tip.append(platform::displayText(folder));
    if (!m_searched.notes.isEmpty()) {
        line += QStringLiteral(" – ") + m_searched.notes.join(QStringLiteral(" – "));
        tip.append(QString());
        tip.append(m_searched.notes);
    }
    lblFolders->setText(
        lblFolders->fontMetrics().elidedText(line, Qt::ElideMiddle, lblFolders->width()));
    lblFolders->setToolTip(tip.join(u'\n'));
    lblFolders->setAccessibleDescription(line);
}

// The rows below are made as the node is expanded; rowsLeft keeps a file that is used in many
// places from unfolding without end.
void WhereUsedWindow::expandRows(const QModelIndex &index, int &rowsLeft)
{
    if (m_model->canFetchMore(index))
        m_model->fetchMore(index);
    tree->expand(index);
    for (int row = 0; row < m_model->rowCount(index) && --rowsLeft > 0; ++row)
        expandRows(m_model->index(row, 0, index), rowsLeft);
}

void WhereUsedWindow::drawPicture()
{
    if (m_graph->fileCount() > filesInPicture) {
        pictureView->setText(QStringLiteral("Das Bild zeigt bis zu %1 Dateien; hier sind es %2.\n"
                                            "„Bild als SVG speichern“ zeichnet alle.")
                                 .arg(filesInPicture)
                                 .arg(m_graph->fileCount()));
        return;
    }
    const std::optional<BoxedPicture> drawn =
        renderBoxes(whereUsedDot(*m_graph, newestOnly->isChecked(), true));
    QPixmap drawing;
    if (drawn && drawing.loadFromData(drawn->png, "PNG")) {
        pictureView->setDrawing(drawing, drawn->boxes);
        markPictureBoxes();
    } else {
        pictureView->setText(QStringLiteral("Das Bild konnte nicht gezeichnet werden."));
    }
}

void WhereUsedWindow::markPictureBoxes()
{
    QSet<qsizetype> files;
    for (const QModelIndex &row : tree->selectionModel()->selectedRows())
        files.insert(row.data(WhereUsedModel::FileRole).value<qsizetype>());
    pictureView->markFiles(files);
}

void WhereUsedWindow::chooseFolders_Click()
{
    auto *dialog = new FolderChoiceDialog(m_searched, m_offered, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const SearchedFolders chosen = dialog->chosen();
        WhereUsedQuestion question = m_question;
        question.folders = chosen.folders;
        question.inclSubfolders = chosen.inclSubfolders;
        question.folderNotes.clear();
        ask(question);
    });
    dialog->open();
}

void WhereUsedWindow::expandAll_Click()
{
    const BusyPointer busy;
    if (!tree->expandEverything())
        lblStatus->setText(QStringLiteral("Nur die ersten %1 Zeilen wurden aufgeklappt.")
                               .arg(WhereUsedTreeView::rowLimit));
}

void WhereUsedWindow::newestOnly_Toggled(bool on)
{
    if (!m_model || m_searching)
        return;
    m_model->setNewestOnly(on);
    tree->expand(m_model->index(0, 0));
    tree->setNameFilter(filter->text());
    drawPicture();
}

void WhereUsedWindow::tree_DblClick(const QModelIndex &index)
{
    const QByteArray path = index.data(WhereUsedModel::PathBytesRole).toByteArray();
    if (!path.isEmpty())
        platform::openFile(this, path);
}

void WhereUsedWindow::toNotes_Click()
{
    QStringList lines;
    for (const QByteArray &path : tree->markedPaths())
        lines.append(platform::displayText(path));
    if (!lines.isEmpty())
        m_takeNotes(lines);
}

void WhereUsedWindow::stop_Click()
{
    m_run->requestStop(RunStop::Everything);
}

// A close during the search ends it at the next block; the window goes once it has wound down.
void WhereUsedWindow::Form_Unload()
{
    m_run->requestStop(RunStop::Everything);
}

void WhereUsedWindow::saveExport(const QByteArray &path, const QByteArray &contents)
{
    const platform::FileWriteResult result = platform::replaceFile(path, contents);
    const QString shownPath = platform::displayText(path);
    if (!result.written) {
        platform::showMessage(this, QStringLiteral("%1 konnte nicht gespeichert werden: %2")
                                        .arg(shownPath, result.errorText));
        return;
    }
    platform::showMessage(this, QStringLiteral("Gespeichert in ") + shownPath);
}

void WhereUsedWindow::savePicture(const char *format)
{
    const std::optional<QByteArray> drawn =
        renderGraph(whereUsedDot(*m_graph, newestOnly->isChecked()), format);
    if (!drawn) {
        platform::showMessage(this, QStringLiteral("Das Bild konnte nicht gezeichnet werden."));
        return;
    }
    saveExport(exportPath(m_exportFolder, m_question.name, format), *drawn);
}

void WhereUsedWindow::candidateFound(const QByteArray &, const QByteArray &folder)
{
    ++m_candidates;
    m_status->setText(QStringLiteral("%1 Dateien im Suchpfad").arg(m_candidates));
    m_path->setText(platform::displayText(folder));
}

void WhereUsedWindow::folderNotListed(const QByteArray &folder, const QString &)
{
    m_notRead.append(folder);
}

void WhereUsedWindow::searching(const QByteArray &path, qint64 index, qint64 count)
{
    if (index == 0)
        m_status->setText(QStringLiteral("Ebene %1 wird gesucht …").arg(m_level));
    controls::setProgressPaintedLater(progressBar, index, count);
    m_path->setText(platform::displayText(path));
}

void WhereUsedWindow::fileNotRead(const QByteArray &path, const QString &)
{
    m_notRead.append(path);
}

void WhereUsedWindow::idle()
{
    platform::processPendingEvents();
}
