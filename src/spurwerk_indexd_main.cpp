// spurwerk-indexd: the office index's indexer, run on the file server beside the folders.

#include "index/index_connection.h"
#include "index/index_location.h"
#include "indexd/office_indexer.h"
#include "indexd/setup_check.h"
#include "platform/standard_output.h"

#include <QByteArray>
#include <QDateTime>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

const char helpText[] =
    "Usage: spurwerk-indexd [--db CONN] [--sweep MINUTES] FOLDER...\n"
    "       spurwerk-indexd --check [--db CONN] FOLDER...\n"
    "\n"
    "Indexes the FOLDERs into the office index in the PostgreSQL database CONN (a\n"
    "libpq connection string; without --db, SPURWERK_INDEX_DB's), then keeps it\n"
    "current: every change the kernel reports in a FOLDER is written within about a\n"
    "second, and every FOLDER is swept again when the kernel's reports ran over,\n"
    "every MINUTES minutes (60 by default) and after the server was away. Desktops\n"
    "that ask the office index (spurwerk-find --index-db, SPURWERK_INDEX_DB, or the\n"
    "settings' [Index] Server) learn from it whether it is current.\n"
    "\n"
    "Runs until it is ended (SIGTERM, SIGINT); says on standard error what it\n"
    "swept and when the server is away or back. The database role needs to create\n"
    "the tables once and write them; desktops need only to read them.\n"
    "\n"
    "--check says, before the first start, whether the database can be asked, its\n"
    "role may make or write the tables, other roles (the desktops') may read them\n"
    "and not write them, and the kernel watches every folder under the FOLDERs\n"
    "(fs.inotify.max_user_watches); one line each, writing nothing. Run it as the\n"
    "indexer's user. Exit status 0 when all is fit, 1 when not, 2 on bad usage.\n";

std::atomic<bool> stopRequested = false;

void requestStop(int)
{
    stopRequested = true;
}

int badUsage(const QByteArray &why)
{
    std::fprintf(stderr, "spurwerk-indexd: %s\nTry 'spurwerk-indexd --help'.\n", why.constData());
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    OfficeIndexer::Options options;
    QByteArray connection;
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--help" || argument == "-h") {
            std::fputs(helpText, stdout);
            return platform::standardOutputWritten("spurwerk-indexd") ? 0 : 2;
        } else if (argument == "--check") {
            check = true;
        } else if (argument == "--db" && i + 1 < argc) {
            connection = argv[++i];
        } else if (argument == "--sweep" && i + 1 < argc) {
            bool number = false;
            const qint64 minutes = QByteArray(argv[++i]).toLongLong(&number);
            if (!number || minutes < 1)
                return badUsage("--sweep needs a whole number of minutes from 1");
            options.sweepIntervalMs = minutes * 60 * 1000;
        } else if (argument.startsWith('-')) {
            return badUsage("unknown option or missing value: " + argument);
        } else {
            const QByteArray folder = canonicalFolder(argument);
            if (folder.isEmpty())
                return badUsage("not a folder: " + argument);
            options.folders.append(folder);
        }
    }
    options.connection = officeIndexServer(connection);
    if (options.connection.isEmpty())
        return badUsage("no database: give --db CONN or set SPURWERK_INDEX_DB");
    if (options.folders.isEmpty())
        return badUsage("no FOLDER to index");
    if (check)
        return checkSetup(options.connection, options.folders);
    options.log = [](const QString &line) {
        std::fprintf(stderr, "spurwerk-indexd: %s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
    };

    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return OfficeIndexer(options).run(stopRequested);
}
