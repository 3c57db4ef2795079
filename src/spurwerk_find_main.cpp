// spurwerk-find: the search engine without windows, for scripts and for measuring.

#include "find_tool/find_request.h"
#include "find_tool/hit_printer.h"
#include "platform/system_error.h"
#include "search/cfindfile.h"
#include "search/content_pass.h"
#include "search/find_file_error.h"
#include "search/name_analysis.h"
#include "search/search_pattern.h"
#include "search/where_used.h"

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <optional>

namespace {

void complain(const QByteArray &subject, const QString &reason)
{
    std::fprintf(stderr, "spurwerk-find: %s: %s\n", subject.constData(),
                 reason.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char **argv)
{
    int exitStatus = exitNothingFound;
    const std::optional<FindRequest> request = parseRequest(argc, argv, exitStatus);
    if (!request)
        return exitStatus;

    // Each candidate is searched as the walk reports it, a few behind so that the kernel can
    // read them ahead: the hits come in the walk's order, and memory does not grow with the tree
    // (with more than one level, the candidates are kept for the levels after the first).
    HitPrinter printer(request->nullEnded);
    const bool byLevels = request->levels > 1;
    const QByteArray text = request->text.toLocal8Bit();
    WhereUsed whereUsed(request->text);
    ContentPass contentPass;
    bool found = false;
    const auto unreadable = [&](const QByteArray &path, const QString &why) {
        complain(path, why);
        exitStatus = exitTrouble;
    };
    const auto searchNext = [&] {
        const Candidate candidate = contentPass.next();
        const ContentSearchResult result = contentPass.searchNext(request->text);
        if (result.outcome == ContentSearchOutcome::Found) {
            found = true;
            if (byLevels) {
                printer.print({"1", candidate.path, text});
                whereUsed.addReported(candidate.path);
            } else {
                printer.print({candidate.path});
            }
        } else if (result.outcome == ContentSearchOutcome::Unreadable) {
            unreadable(candidate.path, result.error);
        } else if (byLevels) {
            whereUsed.addCandidate(candidate);
        }
        printer.flushWhenDue();
    };

    cFindFile finder;
    QObject::connect(&finder, &cFindFile::MatchFound, &finder,
                     [&](const QByteArray &name, const QByteArray &folder) {
                         contentPass.add(folder + name, finder.matchEntry());
                         while (contentPass.isFull())
                             searchNext();
                     });
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

    for (int level = 2; level <= request->levels; ++level) {
        // what the levels before found is shown while this one is searched
        printer.flush();
        const QByteArray levelText = QByteArray::number(level);
        const auto print = [&](const QByteArray &path, const QStringList &names) {
            printer.print({levelText, path, names.join(u',').toLocal8Bit()});
        };
        if (whereUsed.searchNextLevel(print, unreadable, [&] { printer.flushWhenDue(); }) == 0)
            break;
    }

    if (found && exitStatus != exitTrouble)
        exitStatus = exitFound;
    if (!printer.flush()) {
        complain("standard output", platform::systemErrorText(errno));
        return exitTrouble;
    }
    return exitStatus;
}
