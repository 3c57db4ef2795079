#include "main_window/form1.h"

#include "index/index_connection.h"
#include "index/index_note.h"
#include "main_window/path_list_model.h"
#include "notices/frmsplash.h"
#include "path_editor/folder_list.h"
#include "path_editor/form2.h"
#include "platform/display_text.h"
#include "platform/event_pump.h"
#include "search/name_analysis.h"
#include "search/search_pattern.h"
#include "search/text_forms.h"
#include "widgets/clickable_label.h"
#include "widgets/controls.h"
#include "widgets/deferred_label_text.h"
#include "widgets/message_box.h"
#include "widgets/picture_button.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>

namespace {

constexpr int notReadNamesInToolTip = 20;

const QColor noteRed(192, 0, 0);

// A second click on the stop image lets the content pass finish, but the walk stays stopped: such
// a run left folders out and must not pass for a complete one.
const QString incompleteNote = QStringLiteral("unvollständig: Unterverzeichnisse ausgelassen");

QString notReadSummary(qsizetype count, const char *one, const char *many)
{
    return QStringLiteral("%1 %2 nicht lesbar")
        .arg(count)
        .arg(QString::fromUtf8(count == 1 ? one : many));
}

// The folders first, each with why it could not be listed, then the files.
QString notReadToolTip(const QList<cFindFile::UnlistedFolder> &folders, const QByteArrayList &files)
{
    QStringList entries;
    for (qsizetype i = 0; i < folders.size() && entries.size() < notReadNamesInToolTip; ++i) {
        entries.append(platform::displayText(folders.at(i).path) + QStringLiteral(" – ") +
                       folders.at(i).reason);
    }
    for (qsizetype i = 0; i < files.size() && entries.size() < notReadNamesInToolTip; ++i)
        entries.append(platform::displayText(files.at(i)));
    const qsizetype notShown = folders.size() + files.size() - entries.size();
    QStringList lines{QStringLiteral("Nicht durchsucht, da nicht lesbar:")};
    lines.append(entries);
    if (notShown > 0)
        lines.append(QStringLiteral("… und %1 weitere").arg(notShown));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

// Performs one run over the ticked folders. A start while a run is in progress is refused, so a
// run never has its lists emptied under itself.
void Form1::RunSearch()
{
    if (m_runInProgress)
        return;
    m_runInProgress = true;
    const auto runEnd = qScopeGuard([this] {
        showRunLabels();
        img_stop->hide();
        m_runInProgress = false;
        if (m_closeAfterRun)
            QTimer::singleShot(0, this, &QWidget::close);
    });

    Label8->hide();
    Label10->hide();
    lbl_filetime->hide();
    Frame1->show();
    cmd_purge->show();
    Picture1->hide();
    m_candidates->clear();
    m_results->clear();
    m_searchedFolders->clear();
    List2->show();
    lbl_aktpfad->setToolTip(QString());
    controls::setTextColour(lbl_aktpfad, palette().color(QPalette::WindowText));
    m_unlistedFolders.clear();
    m_unreadable.clear();
    nCount = 0;
    lbl_stop->setText(QStringLiteral("0"));

    SearchRun::Request request;
    request.pattern = patternForCriterion(com_krit->currentText());
    request.inclSubfolders = chk_under->isChecked();
    m_searchedSubfolders = request.inclSubfolders;
    for (const QByteArray &folder : folderList().tickedPaths())
        m_searchedFolders->append(folder);
    request.folders = m_searchedFolders->paths();
    // the text as the run starts: editing the search box meanwhile changes the next run only
    if (!request.folders.isEmpty() && !txt_textfind->text().isEmpty())
        request.texts = {textForms(txt_textfind->text())};

    const IndexInUse index(*m_run, request.folders, !request.texts.isEmpty());
    m_runOutcome = m_run->run(request, *this);
    m_indexNote = indexNote(index.report(), NoteLanguage::German);
    if (!request.texts.isEmpty() && nCount == 0)
        PBar->setValue(0);
    showRunLabels();
    reportOutcome();
}

void Form1::folderStarted(const QByteArray &folder)
{
    Label1->setText(platform::displayText(folder));
    m_runPath->setText(Label1->text());
    img_stop->show();
    m_busyPointer.emplace();
}

void Form1::folderFinished(const QByteArray &)
{
    m_busyPointer.reset();
}

void Form1::folderNotListed(const QByteArray &folder, const QString &reason)
{
    m_unlistedFolders.append({folder, reason});
}

void Form1::folderListedPartly(const QByteArray &folder, const QString &reason)
{
    m_unlistedFolders.append({folder, QStringLiteral("nur teilweise gelesen: ") + reason, true});
}

void Form1::searching(const QByteArray &path, qint64 index, qint64 count)
{
    controls::setProgressPaintedLater(PBar, index, count);
    m_runPath->setText(platform::displayText(path));
}

void Form1::progress(const QString &status)
{
    m_runStatus->setText(status);
}

void Form1::hit(const Candidate &candidate, const QList<qsizetype> &)
{
    m_results->append(candidate.path);
}

void Form1::fileNotRead(const QByteArray &path, const QString &)
{
    m_unreadable.append(path);
}

void Form1::idle()
{
    platform::processPendingEvents();
}

bool Form1::isStopConfirmed() const
{
    return m_run->stopRequest() == RunStop::Everything;
}

void Form1::showRunLabels()
{
    m_runStatus->flush();
    m_runPath->flush();
}

void Form1::reportOutcome()
{
    lblStatus->setText(QStringLiteral("Suche abgeschlossen"));
    Label6->setText(QString::number(m_results->count()));
    if (m_results->count() == 0) {
        // After the exit image every window is unloaded and the process ends with this run; a
        // close ends it once the run has wound down.
        if (!m_exiting && !m_closeAfterRun) {
            frmSplash *notice = m_splash.load();
            notice->show();
            notice->raise();
        }
        lblStatus->setText(QStringLiteral("keine Treffer"));
    }
    if (m_runOutcome == RunOutcome::Stopped)
        lblStatus->setText(QStringLiteral("Suche abgebrochen"));
    // The status line is too narrow for the notes; the folder line is free once the run is over.
    QStringList notes;
    if (m_runOutcome == RunOutcome::Incomplete)
        notes.append(incompleteNote);
    if (!m_unlistedFolders.isEmpty())
        notes.append(notReadSummary(m_unlistedFolders.size(), "Verzeichnis", "Verzeichnisse"));
    if (!m_unreadable.isEmpty())
        notes.append(notReadSummary(m_unreadable.size(), "Datei", "Dateien"));
    if (!m_unlistedFolders.isEmpty() || !m_unreadable.isEmpty())
        lbl_aktpfad->setToolTip(notReadToolTip(m_unlistedFolders, m_unreadable));
    if (!notes.isEmpty())
        controls::setTextColour(lbl_aktpfad, noteRed);
    // the index's note comes last: what was not read matters more
    if (!m_indexNote.isEmpty())
        notes.append(m_indexNote);
    if (!notes.isEmpty())
        lbl_aktpfad->setText(notes.join(QStringLiteral(" – ")));
    img_stop->hide();
}

void Form1::startWithFileArgument(const QString &fileArgument)
{
    chk_under->setChecked(false);
    txt_textfind->setText(fileArgument);
    txt_textfind->setText(Zerlege(txt_textfind->text()));
    com_krit->setEditText(QStringLiteral("asm"));
    txt_textfind->setText(txt_textfind->text().toUpper());
    FolderList &folders = folderList();
    folders.appendPath(m_workingFolder);
    folders.tick(folders.count() - 1);
    runSearchFromHandler();
}

// "Suche starten": the first click opens the editor; its "Suchen" sets the editor's status to
// "suche..." and presses this button again, which then runs the search.
void Form1::Command3_Click()
{
    Form2 *editor = showForm2();
    // A start during a run is refused whole: it would undo a confirmed stop and change the text
    // the run is searching for.
    if (m_runInProgress)
        return;
    lbl_stop->setText(QStringLiteral("0"));
    lblStatus->clear();
    txt_textfind->setText(txt_textfind->text().toUpper());
    if (editor->isSearchRequested() && !txt_textfind->text().isEmpty()) {
        editor->setSearchEnabled(false);
        Command3->setEnabled(false);
        runSearchFromHandler();
    }
    Command3->setEnabled(true);
}

void Form1::pressCommand3()
{
    Command3_Click();
}

void Form1::setLabel1(const QString &text)
{
    Label1->setText(text);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txt_textfind && event->type() == QEvent::KeyPress) {
        const auto *keyEvent = static_cast<QKeyEvent *>(event);
        txt_textfind_KeyPress(keyEvent->text(), keyEvent->key());
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::txt_textfind_KeyPress(const QString &keyText, int key)
{
    if (keyText.isEmpty())
        return;
    lblStatus->setText(QStringLiteral("Input..."));
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !txt_textfind->text().isEmpty())
        runSearchFromHandler();
}

// The run processes pending events right after this.
void Form1::candidateFound(const QByteArray &name, const QByteArray &folder)
{
    m_candidates->append(folder + name);
    ++nCount;
    m_runStatus->setText(QString::number(nCount));
}

// The first click stops the walk and, once confirmed, the content pass; a second click takes the
// content pass's stop back, and the walk stays stopped.
void Form1::img_stop_Click()
{
    Command3->setEnabled(true);
    if (isStopConfirmed()) {
        m_run->requestStop(RunStop::Walk);
        lbl_stop->setText(QStringLiteral("0"));
        return;
    }
    m_run->requestStop(RunStop::Walk);
    platform::showMessage(this, QStringLiteral("Die Suche wurde abgebrochen !"));
    m_run->requestStop(RunStop::Everything);
    lbl_stop->setText(QStringLiteral("1"));
}

void Form1::requestStopForClose()
{
    m_run->requestStop(RunStop::Everything);
    lbl_stop->setText(QStringLiteral("1"));
    m_closeAfterRun = !m_exiting;
}

void Form1::runSearchFromHandler()
{
    platform::runTellingErrors(this, [this] { RunSearch(); });
}
