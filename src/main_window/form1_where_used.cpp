#include "main_window/form1.h"

#include "main_window/path_list_model.h"
#include "path_editor/folder_list.h"
#include "search/where_used.h"
#include "where_used/searched_folders.h"
#include "where_used/where_used_question.h"
#include "where_used/where_used_window.h"
#include "widgets/message_box.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QShortcut>

namespace {

const QString whereUsedCaption = QStringLiteral("Verwendungsnachweis…");
// "V" for "Verwendung"; Ctrl+V alone pastes
const QKeySequence whereUsedKeys(Qt::CTRL | Qt::SHIFT | Qt::Key_V);

} // namespace

// A context menu on a hit and on the search box, and a shortcut, beside the controls as they are.
void Form1::buildWhereUsedStarts()
{
    List2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(List2, &QWidget::customContextMenuRequested, this, &Form1::List2_ContextMenu);
    txt_textfind->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(txt_textfind, &QWidget::customContextMenuRequested, this,
            &Form1::txt_textfind_ContextMenu);
    auto *shortcut = new QShortcut(whereUsedKeys, this);
    shortcut->setObjectName(QStringLiteral("whereUsedShortcut"));
    connect(shortcut, &QShortcut::activated, this, &Form1::whereUsedShortcut_Activated);
}

void Form1::List2_ContextMenu(const QPoint &position)
{
    const QByteArray path =
        List2->indexAt(position).data(PathListModel::PathBytesRole).toByteArray();
    if (path.isEmpty())
        return;
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("List2Menu"));
    QAction *action = menu.addAction(whereUsedCaption);
    action->setShortcut(whereUsedKeys);
    connect(action, &QAction::triggered, this,
            [this, path] { showWhereUsed(referenceName(path)); });
    menu.exec(List2->viewport()->mapToGlobal(position));
}

void Form1::txt_textfind_ContextMenu(const QPoint &position)
{
    QMenu *menu = txt_textfind->createStandardContextMenu();
    menu->setObjectName(QStringLiteral("txt_textfindMenu"));
    menu->addSeparator();
    QAction *action = menu->addAction(whereUsedCaption);
    action->setShortcut(whereUsedKeys);
    connect(action, &QAction::triggered, this, [this] { showWhereUsed(txt_textfind->text()); });
    menu->exec(txt_textfind->mapToGlobal(position));
    delete menu;
}

// The hit in the result list when it has the focus, otherwise the search box's text.
void Form1::whereUsedShortcut_Activated()
{
    const QByteArray hit = List2->currentIndex().data(PathListModel::PathBytesRole).toByteArray();
    if (List2->hasFocus() && !hit.isEmpty())
        showWhereUsed(referenceName(hit));
    else
        showWhereUsed(txt_textfind->text());
}

// Over the folders the last run searched, as it searched them; before any run, over the ticked
// folders; refused while the main window searches.
void Form1::showWhereUsed(const QString &name)
{
    if (m_runInProgress)
        return;
    const bool afterRun = m_searchedFolders->count() > 0;
    QuestionCheck check =
        questionForName(name, afterRun ? m_searchedFolders->paths() : folderList().tickedPaths(),
                        afterRun ? m_searchedSubfolders : chk_under->isChecked());
    if (!check.problem.isEmpty()) {
        platform::showMessage(this, check.problem);
        return;
    }
    WhereUsedWindow *window =
        m_whereUsed.load([this](const QStringList &lines) { takeNotes(lines); });
    window->setExportFolder(m_workingFolder);
    QList<OfferedFolder> offered;
    const FolderList &folders = folderList();
    for (int entry = 0; entry < folders.count(); ++entry)
        offered.append({folders.entryPath(entry), folders.isTicked(entry)});
    window->setOfferedFolders(offered);
    window->ask(check.question);
    showInFront(window);
}
