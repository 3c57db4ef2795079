// spurwerk-index: keeps the where-used index that spurwerk-find and the window search with.

#include "index/index_connection.h"
#include "index/index_location.h"
#include "index_tool/index_commands.h"
#include "index_tool/office_status.h"
#include "platform/standard_output.h"
#include "settings/settings_store.h"

#include <QByteArray>
#include <QByteArrayList>
#include <algorithm>
#include <cstdio>

namespace {

const char helpText[] =
    "Usage: spurwerk-index update [--settle SECONDS] [FOLDER...|--editor-list]\n"
    "       spurwerk-index status [--index-db CONN] [--index-map SERVER=LOCAL]...\n"
    "       spurwerk-index forget FOLDER\n"
    "\n"
    "Keeps an index of what the files in the FOLDERs hold, so that a search need not\n"
    "read every file again.\n"
    "\n"
    "  update   walks each FOLDER as a search does and records every file it reaches:\n"
    "           its size, modification and change time and inode, and the runs of\n"
    "           letters, digits, \"_\", \"-\" and \".\" in its bytes, four or more in a\n"
    "           row, each once. A second update reads only the files whose record\n"
    "           differs and drops those that are gone. On a terminal it shows its\n"
    "           progress; Ctrl+C stops it after the current batch, and the next update\n"
    "           goes on from there. A second update waits for the first.\n"
    "           A file changed less than SECONDS (default 2) before it is read is\n"
    "           read again by the next update and by every search until then: clocks\n"
    "           tick coarsely, and a share's server stamps files with its own clock.\n"
    "           0 suits a local disk.\n"
    "           Without FOLDERs it updates the folders indexed before, as the user\n"
    "           timer spurwerk-index.timer does every hour once it is turned on:\n"
    "             systemctl --user enable --now spurwerk-index.timer\n"
    "           --editor-list updates the folders of the path editor's saved list\n"
    "           but \"/\" and the roots of other file systems (mount points): a\n"
    "           whole disk or share is indexed only when named as a FOLDER.\n"
    "  status   the indexed folders, their files and bytes, the last update of each,\n"
    "           and the size of the index. With an office index set (--index-db,\n"
    "           SPURWERK_INDEX_DB or the settings' [Index] Server), also its server,\n"
    "           the folders its indexer watches (with this desktop's path for each,\n"
    "           by --index-map, SPURWERK_INDEX_MAP or [Index] Map), their files and\n"
    "           bytes, when the indexer last said it runs and caught up, its last\n"
    "           sweep, the folders no notice covers, and the layout; exit\n"
    "           status 0 when the indexer keeps every folder current, 1 when it is\n"
    "           behind or silent, 2 when the server cannot be asked or the mapping\n"
    "           is not valid or refused\n"
    "  forget   drops a FOLDER from the index\n"
    "\n"
    "The index is $XDG_CACHE_HOME/spurwerk/index.sqlite (~/.cache/spurwerk/), on the\n"
    "local disk; index folders on a share from there, never put the index on one.\n"
    "\n"
    "The guarantee: a search that uses the index gives exactly the answer of a search\n"
    "that reads every file. The search still walks the folders; a file whose size,\n"
    "times and inode are the recorded ones is answered from its recorded runs without\n"
    "reading it, every other file is read. A text the runs cannot answer (without\n"
    "four such characters in a row) is searched by reading every file. A missing,\n"
    "damaged, locked, older or newer index is not used, and the search says why; the\n"
    "next update rebuilds it. spurwerk-find\n"
    "--from-index answers from the index alone, as of its last update.\n"
    "\n"
    "Exit status: 0 when done, 2 on bad usage or when a folder could not be listed,\n"
    "the index or standard output could not be written (each is named on standard\n"
    "error).\n";

// The folders of the path editor's list, as it was saved.
QByteArrayList editorFolders()
{
    const SettingsStore settings;
    QByteArrayList folders;
    for (int index = 0; index <= settings.folderLastIndex(); ++index)
        folders.append(settings.folderEntry(index));
    return folders;
}

int badUsage(const char *why)
{
    std::fprintf(stderr, "spurwerk-index: %s\nTry 'spurwerk-index --help'.\n", why);
    return 2;
}

int run(int argc, char **argv)
{
    QByteArrayList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(argv[i]);
    if (arguments.isEmpty())
        return badUsage("a command is needed: update, status or forget");
    const QByteArray command = arguments.takeFirst();
    if (command == "--help" || command == "-h") {
        std::fputs(helpText, stdout);
        return 0;
    }
    if (command == "update") {
        qint64 settleSeconds = 2;
        if (arguments.size() >= 2 && arguments.first() == "--settle") {
            bool valid = false;
            settleSeconds = arguments.at(1).toLongLong(&valid);
            if (!valid || settleSeconds < 0)
                return badUsage("--settle needs a whole number of seconds from 0");
            arguments.remove(0, 2);
        }
        if (arguments.isEmpty())
            return updateIndexedFolders(indexFile(), settleSeconds);
        if (arguments == QByteArrayList{"--editor-list"})
            return updateEditorFolders(indexFile(), editorFolders(), settleSeconds);
        return updateFolders(indexFile(), arguments, settleSeconds);
    }
    if (command == "status") {
        QByteArray server;
        QByteArrayList map;
        while (arguments.size() >= 2 &&
               (arguments.first() == "--index-db" || arguments.first() == "--index-map")) {
            if (arguments.first() == "--index-db")
                server = arguments.at(1);
            else
                map.append(arguments.at(1));
            arguments.remove(0, 2);
        }
        if (!arguments.isEmpty())
            return badUsage("status takes only --index-db CONN and --index-map SERVER=LOCAL");
        const int local = showStatus(indexFile());
        server = officeIndexServer(server);
        if (server.isEmpty())
            return local;
        return std::max(local, showOfficeStatus(server, officeIndexMap(map)));
    }
    if (command == "forget" && arguments.size() == 1)
        return forgetFolder(indexFile(), arguments.first());
    return badUsage("unknown command or wrong number of FOLDERs");
}

} // namespace

int main(int argc, char **argv)
{
    const int status = run(argc, argv);
    return platform::standardOutputWritten("spurwerk-index") ? status : 2;
}
