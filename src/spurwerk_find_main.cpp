// spurwerk-find: the search engine without windows, for scripts and for measuring.

#include "platform/directory_search.h"
#include "platform/system_error.h"
#include "search/cfindfile.h"
#include "search/content_search.h"
#include "search/find_file_error.h"
#include "search/name_analysis.h"
#include "search/search_pattern.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <optional>

namespace {

constexpr int exitFound = 0;
constexpr int exitNothingFound = 1;
constexpr int exitTrouble = 2;

const char helpText[] =
    "Usage: spurwerk-find [--type asm|drw|prt|*|TYPE] [--no-subfolders] TEXT FOLDER...\n"
    "\n"
    "Prints the full path of every file of the chosen type in the FOLDERs whose raw bytes\n"
    "contain TEXT, one per line.\n"
    "\n"
    "  --type TYPE       files whose names contain \".TYPE\", in any case; \"*\" (the\n"
    "                    default) takes every entry\n"
    "  --no-subfolders   search the FOLDERs only, not their sub-folders\n"
    "  --help            show this text\n"
    "\n"
    "First the FOLDERs are walked in the order given, each folder's own entries before\n"
    "its sub-folders; then every file found is searched, and the hits are printed in that\n"
    "order. TEXT is compared byte for byte, so upper and lower case differ. Hidden files\n"
    "(names beginning with \".\"), folders, FIFOs, sockets and devices are never opened.\n"
    "\n"
    "Exit status: 0 when a file was found, 1 when none was, 2 on bad usage or when a\n"
    "FOLDER could not be listed or a file could not be read (each is named on standard\n"
    "error and the search goes on). Sub-folders that cannot be listed are passed over.\n";

struct Request
{
    QString criterion = QStringLiteral("*");
    bool inclSubfolders = true;
    QString text;
    QList<QByteArray> folders;
};

void complain(const QByteArray &subject, const QString &reason)
{
    std::fprintf(stderr, "spurwerk-find: %s: %s\n", subject.constData(),
                 reason.toLocal8Bit().constData());
}

int badUsage(const QByteArray &why)
{
    std::fprintf(stderr, "spurwerk-find: %s\nTry 'spurwerk-find --help'.\n", why.constData());
    return exitTrouble;
}

// The request; without one, exitStatus says how the program ends.
std::optional<Request> parse(int argc, char **argv, int &exitStatus)
{
    Request request;
    QList<QByteArray> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (optionsEnded || !argument.startsWith('-') || argument == "-") {
            operands.append(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            std::fputs(helpText, stdout);
            exitStatus = exitFound;
            return std::nullopt;
        } else if (argument == "--no-subfolders") {
            request.inclSubfolders = false;
        } else if (argument == "--type" && i + 1 < argc) {
            request.criterion = QString::fromLocal8Bit(argv[++i]);
        } else if (argument.startsWith("--type=")) {
            request.criterion = QString::fromLocal8Bit(argument.sliced(7));
        } else {
            exitStatus = badUsage("unknown option or missing value: " + argument);
            return std::nullopt;
        }
    }
    if (operands.size() < 2) {
        exitStatus = badUsage("TEXT and at least one FOLDER are needed");
        return std::nullopt;
    }
    const QByteArray text = operands.takeFirst();
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

} // namespace

int main(int argc, char **argv)
{
    int exitStatus = exitNothingFound;
    const std::optional<Request> request = parse(argc, argv, exitStatus);
    if (!request)
        return exitStatus;

    QList<QByteArray> candidates;
    cFindFile finder;
    QObject::connect(&finder, &cFindFile::MatchFound, &finder,
                     [&candidates](const QByteArray &name, const QByteArray &folder) {
                         candidates.append(folder + name);
                     });
    const QByteArray pattern = patternForCriterion(request->criterion);
    for (const QByteArray &folder : request->folders) {
        if (!DirExists(folder)) {
            complain(folder, QStringLiteral("not a folder"));
            exitStatus = exitTrouble;
            continue;
        }
        // The finder passes over a folder it cannot list without a word; a script must still
        // learn that a FOLDER it named was not searched.
        if (!platform::DirectorySearch(folder, platform::WildcardPattern("*")).isValid()) {
            complain(folder, QStringLiteral("cannot be listed"));
            exitStatus = exitTrouble;
            continue;
        }
        finder.setSFileToFind(pattern);
        finder.setSInclSubfolders(request->inclSubfolders);
        finder.setSSearchpath(folder);
        try {
            finder.sStartSearch();
        } catch (const FindFileError &error) {
            complain(folder, error.description);
            exitStatus = exitTrouble;
        }
    }

    if (!request->text.isEmpty()) {
        static char outputBuffer[1 << 16];
        std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
        bool found = false;
        for (const QByteArray &candidate : std::as_const(candidates)) {
            const ContentSearchResult result = SearchFileForText(candidate, request->text, 1);
            if (result.outcome == ContentSearchOutcome::Found) {
                std::fwrite(candidate.constData(), 1, size_t(candidate.size()), stdout);
                std::fputc('\n', stdout);
                found = true;
            } else if (result.outcome == ContentSearchOutcome::Unreadable) {
                complain(candidate, result.error);
                exitStatus = exitTrouble;
            }
        }
        if (found && exitStatus != exitTrouble)
            exitStatus = exitFound;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        complain("standard output", platform::systemErrorText(errno));
        return exitTrouble;
    }
    return exitStatus;
}
