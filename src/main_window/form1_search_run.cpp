#include "main_window/form1.h"

#include "main_window/path_list_model.h"
#include "notices/frmsplash.h"
#include "path_editor/folder_list.h"
#include "path_editor/form2.h"
#include "platform/display_text.h"
#include "platform/event_pump.h"
#include "platform/windows/busy_pointer.h"
#include "platform/windows/clickable_label.h"
#include "platform/windows/controls.h"
#include "platform/windows/deferred_label_text.h"
#include "platform/windows/message_box.h"
#include "platform/windows/picture_button.h"
#include "search/cfindfile.h"
#include "search/content_pass.h"
#include "search/find_file_error.h"
#include "search/name_analysis.h"
#include "search/search_pattern.h"

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

// QProgressBar repaints the window at once on every visible step; leave the painting to the
// next pass of the event loop, like every other control of the run.
void setProgressPaintedLater(QProgressBar *bar, int value)
{
    bar->setUpdatesEnabled(false);
    bar->setValue(value);
    bar->setUpdatesEnabled(true);
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
    struct RunEnd
    {
        Form1 *form;
        ~RunEnd()
        {
            form->showRunLabels();
            form->img_stop->hide();
            form->m_runInProgress = false;
            if (form->m_closeAfterRun)
                QTimer::singleShot(0, form, &QWidget::close);
        }
    } runEnd{this};

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

    const QByteArray pattern = patternForCriterion(com_krit->currentText());
    bStop = false;
    m_walkCutShort = false;
    nCount = 0;
    lbl_stop->setText(QStringLiteral("0"));

    const FolderList &folders = folderList();
    for (int i = 0; i < folders.count(); ++i) {
        if (folders.isTicked(i))
            m_searchedFolders->append(folders.entryPath(i));
    }

    // The walk processes events, and the purge empties List_temp: walk a copy.
    const QByteArrayList searchedFolders = m_searchedFolders->paths();
    // a folder inside another ticked one, or reached through links, is walked once
    const cFindFile::Run run(*nSearch);
    for (const QByteArray &folder : searchedFolders) {
        nSearch->setSFileToFind(pattern);
        nSearch->setSInclSubfolders(chk_under->isChecked());
        Label1->setText(platform::displayText(folder));
        m_runPath->setText(Label1->text());
        nSearch->setSSearchpath(folder);
        img_stop->show();
        const BusyPointer busy;
        nSearch->sStartSearch();
        m_unlistedFolders.append(nSearch->unlistedFolders());
    }

    if (!searchedFolders.isEmpty() && !txt_textfind->text().isEmpty())
        searchContents(nCount);
    showRunLabels();
    reportOutcome();
}

void Form1::searchContents(qint64 candidateCount)
{
    if (candidateCount == 0) {
        PBar->setValue(0);
        return;
    }
    // A confirmed stop, or a close, ends the current file at its next block: a large file must
    // not keep the window waiting. A second click on the stop image lets the pass go on.
    ContentPass contentPass([this](const QString &status) { m_runStatus->setText(status); },
                            [this] { return isStopConfirmed(); });
    qint64 added = 0;
    for (qint64 k = 0; k < candidateCount; ++k) {
        if (k > 0 && isStopConfirmed())
            break;
        // the pass reads the next candidates ahead while it searches this one
        for (; added < candidateCount && !contentPass.isFull(); ++added)
            contentPass.add(m_candidates->pathAt(static_cast<int>(added)));
        setProgressPaintedLater(PBar, static_cast<int>((k + 1) * 100 / candidateCount));
        const int row = static_cast<int>(k);
        m_runPath->setText(m_candidates->textAt(row));
        const QByteArray path = m_candidates->pathAt(row);
        const ContentSearchResult result = contentPass.searchNext(txt_textfind->text());
        if (result.outcome == ContentSearchOutcome::Found)
            m_results->append(path);
        else if (result.outcome == ContentSearchOutcome::Unreadable)
            m_unreadable.append(path);
    }
}

bool Form1::isStopConfirmed() const
{
    return lbl_stop->text() == QStringLiteral("1");
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
        // After the exit image every window is unloaded and the process ends with this run.
        if (!m_exiting) {
            frmSplash *notice = m_splash.load();
            notice->show();
            notice->raise();
        }
        lblStatus->setText(QStringLiteral("keine Treffer"));
    }
    if (isStopConfirmed())
        lblStatus->setText(QStringLiteral("Suche abgebrochen"));
    // The status line is too narrow for the notes; the folder line is free once the run is over.
    QStringList notes;
    if (!isStopConfirmed() && m_walkCutShort)
        notes.append(incompleteNote);
    if (!m_unlistedFolders.isEmpty())
        notes.append(notReadSummary(m_unlistedFolders.size(), "Verzeichnis", "Verzeichnisse"));
    if (!m_unreadable.isEmpty())
        notes.append(notReadSummary(m_unreadable.size(), "Datei", "Dateien"));
    if (!m_unlistedFolders.isEmpty() || !m_unreadable.isEmpty())
        lbl_aktpfad->setToolTip(notReadToolTip(m_unlistedFolders, m_unreadable));
    if (!notes.isEmpty()) {
        lbl_aktpfad->setText(notes.join(QStringLiteral(" – ")));
        controls::setTextColour(lbl_aktpfad, noteRed);
    }
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

void Form1::nSearch_MatchFound(const QByteArray &name, const QByteArray &folder)
{
    m_candidates->append(folder + name);
    ++nCount;
    m_runStatus->setText(QString::number(nCount));
    platform::processPendingEvents();
}

void Form1::nSearch_StopSearch(bool &answer)
{
    if (bStop) {
        answer = true;
        m_walkCutShort = true;
    }
    platform::processPendingEvents();
}

void Form1::img_stop_Click()
{
    bStop = true;
    Command3->setEnabled(true);
    if (lbl_stop->text().toInt() != 0) {
        lbl_stop->setText(QStringLiteral("0"));
        return;
    }
    platform::showMessage(this, QStringLiteral("Die Suche wurde abgebrochen !"));
    lbl_stop->setText(QStringLiteral("1"));
}

void Form1::requestStopForClose()
{
    bStop = true;
    lbl_stop->setText(QStringLiteral("1"));
    m_closeAfterRun = !m_exiting;
}

void Form1::runSearchFromHandler()
{
    try {
        RunSearch();
    } catch (const FindFileError &error) {
        platform::showMessage(this, error.description);
    } catch (const std::exception &error) {
        platform::showMessage(this, QString::fromLocal8Bit(error.what()));
    }
}
