#include "find_tool/find_request.h"

#include "platform/standard_output.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace {

const char helpText[] =
    "Usage: spurwerk-find [--type asm|drw|prt|*|TYPE] [--no-subfolders] [--levels N] [-0]\n"
    "                     [--no-index | --from-index] [--index-db CONN]\n"
    "                     [--index-map SERVER=LOCAL]... TEXT FOLDER...\n"
    "\n"
    "Prints the full path of every file of the chosen type in the FOLDERs whose raw bytes\n"
    "contain TEXT, one per line.\n"
    "\n"
    "  --type TYPE       files whose names contain \".TYPE\", in any case; \"*\" (the\n"
    "                    default) takes every entry\n"
    "  --no-subfolders   search the FOLDERs only, not their sub-folders\n"
    "  --levels N        where-used up to level N, a whole number from 1 (see below);\n"
    "                    1, the default, prints the paths as above\n"
    "  -0, --null        end each path with a NUL byte instead of a line end, as a\n"
    "                    file name may hold line ends (with --levels: each field)\n"
    "  --no-index        read every file, even where spurwerk-index has indexed the\n"
    "                    FOLDERs\n"
    "  --from-index      answer from the index alone, as of its last update, without\n"
    "                    touching the FOLDERs; the paths come folder by folder, by\n"
    "                    name, and standard error says how old the answer is\n"
    "  --index-db CONN   ask the office index in the PostgreSQL database CONN (a libpq\n"
    "                    connection string) instead of SPURWERK_INDEX_DB's or the\n"
    "                    settings' [Index] Server; when it cannot serve, the search\n"
    "                    falls back to this desktop's index or reads every file\n"
    "  --index-map SERVER=LOCAL\n"
    "                    the file server's folder SERVER is LOCAL on this desktop\n"
    "                    (repeatable), instead of SPURWERK_INDEX_MAP's or the\n"
    "                    settings' [Index] Map (pairs separated by \";\"); the office\n"
    "                    index then serves the FOLDERs under LOCAL\n"
    "  --help            show this text\n"
    "\n"
    "The FOLDERs are walked in the order given, each folder's own entries before its\n"
    "sub-folders; every file found is searched as the walk goes, and the hits are\n"
    "printed in that order. TEXT is compared byte for byte, so upper and lower case\n"
    "differ. A TEXT with letters outside ASCII is looked for in UTF-8 and in\n"
    "Windows-1252, one byte per letter, as CAD programs of Western European offices\n"
    "store names. Hidden files (names beginning with \".\"), folders, FIFOs, sockets\n"
    "and devices are never searched.\n"
    "\n"
    "A folder reached more than once, through symbolic links or as a sub-folder of\n"
    "another FOLDER, is searched the first time only.\n"
    "\n"
    "Where-used, with --levels N from 2: level 1 is the files that hold TEXT; level\n"
    "k + 1 the files that hold the name of a file of level k, its base name (up to\n"
    "the first dot) in upper case: \"HUB\" for /cad/hub.prt.3. Each file is reported\n"
    "once, at the first level that finds it; the search ends after level N or at the\n"
    "first level that finds no file, so references in a circle end. One line per file,\n"
    "by level and within a level in the walk's order:\n"
    "\n"
    "  LEVEL<TAB>PATH<TAB>NAMES\n"
    "\n"
    "NAMES are the names of the level before that the file holds, joined by \",\" in\n"
    "the order their files were printed (at level 1: TEXT). With -0 the tabs and the\n"
    "line end are NUL bytes. For example:\n"
    "\n"
    "  $ spurwerk-find --type asm --levels 3 WELLE_0815 /cad\n"
    "  1\t/cad/baugruppen/getriebe_12.asm.3\tWELLE_0815\n"
    "  1\t/cad/baugruppen/lager_7.asm.1\tWELLE_0815\n"
    "  2\t/cad/anlagen/antrieb_4.asm.2\tGETRIEBE_12,LAGER_7\n"
    "  3\t/cad/anlagen/anlage_1.asm.5\tANTRIEB_4\n"
    "\n"
    "Where spurwerk-index has indexed the FOLDERs, the search reads only the files\n"
    "that may hold TEXT by the index or changed since its last update, and gives\n"
    "exactly the answer of a search that reads every file; standard error says once\n"
    "that the index answered, or why it was not used (see spurwerk-index --help).\n"
    "\n"
    "Exit status: 0 when a file was found (at level 1), 1 when none was, 2 on bad\n"
    "usage or when a folder (a FOLDER or one of its sub-folders) could not be listed or\n"
    "a file could not be read, or the office index's folder mapping is not valid (each\n"
    "is named once on standard error and the search goes on).\n";

int showHelp()
{
    std::fputs(helpText, stdout);
    return platform::standardOutputWritten("spurwerk-find") ? exitFound : exitTrouble;
}

int badUsage(const QByteArray &why)
{
    std::fprintf(stderr, "spurwerk-find: %s\nTry 'spurwerk-find --help'.\n", why.constData());
    return exitTrouble;
}

// A whole number from 1; one too large for an int asks for every level there is all the same.
std::optional<int> levelCount(const QByteArray &value)
{
    if (value.isEmpty() ||
        !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    bool fits = false;
    const qulonglong count = value.toULongLong(&fits);
    if (fits && count == 0)
        return std::nullopt;
    return fits ? int(std::min<qulonglong>(count, INT_MAX)) : INT_MAX;
}

} // namespace

std::optional<FindRequest> parseRequest(int argc, char **argv, int &exitStatus)
{
    FindRequest request;
    QList<QByteArray> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        std::optional<QByteArray> levels;
        if (optionsEnded || !argument.startsWith('-') || argument == "-") {
            operands.append(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            exitStatus = showHelp();
            return std::nullopt;
        } else if (argument == "--no-subfolders") {
            request.inclSubfolders = false;
        } else if (argument == "--no-index") {
            request.index = FindRequest::IndexUse::Never;
        } else if (argument == "--from-index") {
            request.index = FindRequest::IndexUse::Alone;
        } else if (argument == "--index-db" && i + 1 < argc) {
            request.indexServer = argv[++i];
        } else if (argument.startsWith("--index-db=")) {
            request.indexServer = argument.sliced(11);
        } else if (argument == "--index-map" && i + 1 < argc) {
            request.indexMap.append(argv[++i]);
        } else if (argument.startsWith("--index-map=")) {
            request.indexMap.append(argument.sliced(12));
        } else if (argument == "-0" || argument == "--null") {
            request.nullEnded = true;
        } else if (argument == "--type" && i + 1 < argc) {
            request.criterion = QString::fromLocal8Bit(argv[++i]);
        } else if (argument.startsWith("--type=")) {
            request.criterion = QString::fromLocal8Bit(argument.sliced(7));
        } else if (argument == "--levels" && i + 1 < argc) {
            levels = argv[++i];
        } else if (argument.startsWith("--levels=")) {
            levels = argument.sliced(9);
        } else {
            exitStatus = badUsage("unknown option or missing value: " + argument);
            return std::nullopt;
        }
        if (levels) {
            const std::optional<int> count = levelCount(*levels);
            if (!count) {
                exitStatus =
                    badUsage("--levels needs a whole number from 1, not '" + *levels + "'");
                return std::nullopt;
            }
            request.levels = *count;
        }
    }
    if (operands.size() < 2) {
        exitStatus = badUsage("TEXT and at least one FOLDER are needed");
        return std::nullopt;
    }
    const QByteArray text = operands.takeFirst();
    // an empty text would be found nowhere, which a script could not tell from a real answer
    if (text.isEmpty()) {
        exitStatus = badUsage("TEXT is empty");
        return std::nullopt;
    }
    request.text = QString::fromLocal8Bit(text);
    // the engine takes the text as it would come from a text box; bytes it cannot carry would
    // silently become another search
    if (request.text.toLocal8Bit() != text) {
        exitStatus = badUsage("TEXT is not valid in the local encoding");
        return std::nullopt;
    }
    request.folders = operands;
    return request;
}
