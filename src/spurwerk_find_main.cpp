// spurwerk-find: the search engine without windows, for scripts and for measuring.

#include "platform/coarse_clock.h"
#include "platform/system_error.h"
#include "search/cfindfile.h"
#include "search/content_pass.h"
#include "search/find_file_error.h"
#include "search/name_analysis.h"
#include "search/search_pattern.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <unistd.h>

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
    "The FOLDERs are walked in the order given, each folder's own entries before its\n"
    "sub-folders; every file found is searched as the walk goes, and the hits are\n"
    "printed in that order. TEXT is compared byte for byte, so upper and lower case\n"
    "differ. Hidden files (names beginning with \".\"), folders, FIFOs, sockets and\n"
    "devices are never searched.\n"
    "\n"
    "A folder reached more than once, through symbolic links or as a sub-folder of\n"
    "another FOLDER, is searched the first time only.\n"
    "\n"
    "Exit status: 0 when a file was found, 1 when none was, 2 on bad usage or when a\n"
    "folder (a FOLDER or one of its sub-folders) could not be listed or a file could\n"
    "not be read (each is named on standard error and the search goes on).\n";

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

// Prints the hits as they are found. Standard output is a terminal's line by line; elsewhere it
// is written in blocks, since a write per hit costs a system call, but never held back for longer
// than a moment, so a reader sees the first hits early.
class HitPrinter
{
public:
    HitPrinter()
    {
        const bool terminal = ::isatty(STDOUT_FILENO);
        std::setvbuf(stdout, m_buffer, terminal ? _IOLBF : _IOFBF, sizeof m_buffer);
    }

    void print(const QByteArray &path)
    {
        std::fwrite(path.constData(), 1, size_t(path.size()), stdout);
        std::fputc('\n', stdout);
        m_pending = true;
    }

    // Called after every candidate.
    void flushWhenDue()
    {
        if (m_pending && platform::coarseMilliseconds() - m_lastFlush >= flushIntervalMs)
            flush();
    }

    // False when the hits could not all be written.
    bool flush()
    {
        m_pending = false;
        m_lastFlush = platform::coarseMilliseconds();
        return std::fflush(stdout) == 0 && !std::ferror(stdout);
    }

private:
    static constexpr qint64 flushIntervalMs = 100;
    char m_buffer[1 << 16];
    bool m_pending = false;
    qint64 m_lastFlush = platform::coarseMilliseconds();
};

} // namespace

int main(int argc, char **argv)
{
    int exitStatus = exitNothingFound;
    const std::optional<Request> request = parse(argc, argv, exitStatus);
    if (!request)
        return exitStatus;

    // Each candidate is searched as the walk reports it, a few behind so that the kernel can
    // read them ahead: the hits come in the walk's order, and memory does not grow with the tree.
    // static: standard output keeps using its buffer until the process has ended
    static HitPrinter printer;
    ContentPass contentPass;
    bool found = false;
    const auto searchNext = [&] {
        const QByteArray candidate = contentPass.next().path;
        const ContentSearchResult result = contentPass.searchNext(request->text);
        if (result.outcome == ContentSearchOutcome::Found) {
            printer.print(candidate);
            found = true;
        } else if (result.outcome == ContentSearchOutcome::Unreadable) {
            complain(candidate, result.error);
            exitStatus = exitTrouble;
        }
        printer.flushWhenDue();
    };

    cFindFile finder;
    if (!request->text.isEmpty()) {
        QObject::connect(&finder, &cFindFile::MatchFound, &finder,
                         [&](const QByteArray &name, const QByteArray &folder) {
                             contentPass.add(folder + name, finder.matchEntry());
                             while (contentPass.isFull())
                                 searchNext();
                         });
    }
    const QByteArray pattern = patternForCriterion(request->criterion);
    // every folder once, however many FOLDERs and links lead to it
    const cFindFile::Run run(finder);
    for (const QByteArray &folder : request->folders) {
        if (!DirExists(folder)) {
            complain(folder, QStringLiteral("not a folder"));
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
        // The finder passes over a folder it cannot list; a script must still learn what was
        // not searched.
        for (const cFindFile::UnlistedFolder &unlisted : finder.unlistedFolders()) {
            complain(unlisted.path, QStringLiteral("cannot be listed: ") + unlisted.reason);
            exitStatus = exitTrouble;
        }
    }
    while (!contentPass.isEmpty())
        searchNext();

    if (found && exitStatus != exitTrouble)
        exitStatus = exitFound;
    if (!printer.flush()) {
        complain("standard output", platform::systemErrorText(errno));
        return exitTrouble;
    }
    return exitStatus;
}
