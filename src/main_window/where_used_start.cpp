#include "main_window/where_used_start.h"

#include "index/index_connection.h"
#include "index/index_location.h"
#include "index/index_map.h"
#include "index/postgres_store.h"
#include "main_window/notes_text.h"
#include "path_editor/folder_list.h"
#include "platform/file_lookup.h"
#include "settings/settings_store.h"
#include "where_used/searched_folders.h"
#include "where_used/where_used_question.h"
#include "where_used/where_used_window.h"
#include "widgets/message_box.h"

#include <QDir>
#include <QFile>

namespace {

// The folders the office index watches that hold the part's folder, as this desktop names them;
// none when no office index is set or it cannot be asked, as the saved list then still covers the
// part.
QByteArrayList watchedFoldersHolding(const QByteArray &partFolder)
{
    const QByteArray server = officeIndexServer();
    const QByteArray canonical = canonicalFolder(partFolder);
    if (server.isEmpty() || canonical.isEmpty())
        return {};
    QByteArrayList watched;
    try {
        PostgresStore store(server, PostgresStore::Mode::Read);
        const IndexMap map = officeIndexMap();
        for (const IndexerState &watch : store.watches()) {
            // the server's folder as this desktop mounts it
            const QByteArray mapped = localFolderOf(map, watch.folder);
            const QByteArray local = mapped.isEmpty() ? watch.folder : mapped;
            if (isInside(canonical, local) && !watched.contains(local))
                watched.append(local);
        }
    } catch (const IndexError &) {
        return {};
    }
    return watched;
}

} // namespace

WhereUsedWindow *showWhereUsedAlone(const QByteArray &file, SettingsStore &store)
{
    // the folder line and the saved list name folders whole, wherever the program was started
    const QByteArray whole = file.isEmpty() || file.startsWith('/')
                                 ? file
                                 : platform::inFolder(QFile::encodeName(QDir::currentPath()), file);
    QuestionCheck check = questionForFile(whole);
    if (!check.problem.isEmpty()) {
        platform::showMessage(nullptr, check.problem);
        return nullptr;
    }
    const QByteArray partFolder = check.question.folders.constFirst();
    FolderList saved;
    saved.load(store);
    QByteArrayList savedFolders;
    QList<OfferedFolder> offered;
    for (int entry = 0; entry < saved.count(); ++entry) {
        savedFolders.append(saved.entryPath(entry));
        offered.append({saved.entryPath(entry), false});
    }
    const SearchedFolders searched =
        foldersForPartFile(partFolder, savedFolders, watchedFoldersHolding(partFolder));
    check.question.folders = searched.folders;
    check.question.inclSubfolders = searched.inclSubfolders;
    check.question.folderNotes = searched.notes;

    auto *window = new WhereUsedWindow([&store](const QStringList &lines) {
        store.setValue(SettingsStore::Key::Notes,
                       storedNotesWith(store.value(SettingsStore::Key::Notes), lines));
        if (const SaveResult saved = store.sync(); !saved.saved())
            platform::showMessage(nullptr, QStringLiteral("Das Notizblatt wurde nicht "
                                                          "gespeichert.\n\n") +
                                               saved.reason());
    });
    // the file manager starts programs in the home folder: the exports go beside the part
    window->setExportFolder(partFolder);
    window->setOfferedFolders(offered);
    window->ask(check.question);
    window->show();
    return window;
}
