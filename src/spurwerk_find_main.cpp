// spurwerk-find: the search engine without windows, for scripts and for measuring.

#include "find_tool/find_output.h"
#include "find_tool/find_request.h"
#include "find_tool/hit_printer.h"
#include "index/index_connection.h"
#include "index/index_note.h"
#include "platform/system_error.h"
#include "search/cfindfile.h"
#include "search/name_analysis.h"
#include "search/search_pattern.h"
#include "search/search_run.h"
#include "search/text_forms.h"
#include "search/where_used.h"

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>

int main(int argc, char **argv)
{
    int exitStatus = exitNothingFound;
    const std::optional<FindRequest> request = parseRequest(argc, argv, exitStatus);
    if (!request)
        return exitStatus;

    HitPrinter printer(request->nullEnded);
    const bool byLevels = request->levels > 1;
    WhereUsed whereUsed(request->text);
    FindOutput output(printer, request->text.toLocal8Bit(), byLevels ? &whereUsed : nullptr);

    SearchRun::Request search;
    search.pattern = patternForCriterion(request->criterion);
    search.inclSubfolders = request->inclSubfolders;
    search.texts = {textForms(request->text)};
    // The hits come in the walk's order, and memory does not grow with the tree (with more than
    // one level, the candidates are kept for the levels after the first).
    search.searchWhileWalking = true;
    for (const QByteArray &folder : request->folders) {
        if (DirExists(folder))
            search.folders.append(folder);
        else
            output.complain(folder, QStringLiteral("not a folder"));
    }
    cFindFile finder;
    SearchRun run(finder);
    const bool alone = request->index == FindRequest::IndexUse::Alone;
    IndexReport report;
    std::unique_ptr<IndexFilter> index;
    if (request->index != FindRequest::IndexUse::Never) {
        index = openIndex(
            search.folders, alone ? IndexFilter::Use::AnswerAlone : IndexFilter::Use::Search,
            report, officeIndexServer(request->indexServer), officeIndexMap(request->indexMap));
    }
    if (alone && index && !IndexFilter::answersExactly(search.texts)) {
        report.reason = IndexReport::Reason::TextTooLoose;
        index.reset();
    }
    if (alone && !index) {
        output.complain("--from-index", indexNote(report, NoteLanguage::English, alone));
        return exitTrouble;
    }
    // with the office indexer current, its index names the files to read and the walk is spared
    search.hitsAlone = !byLevels;
    run.setCandidateFilter(index.get());
    if (alone) {
        run.searchAgain(
            index->recordedCandidates(search.pattern, search.inclSubfolders,
                                      byLevels ? QList<QList<QByteArray>>() : search.texts),
            search.texts, ContentSearch::Goal::FirstOccurrence, output);
    } else {
        run.run(search, output);
    }

    if (byLevels) {
        output.levelDone(1);
        whereUsed.searchLevels(run, output, output, 2, request->levels);
    }

    const QString note = indexNote(index ? index->report() : report, NoteLanguage::English, alone);
    if (!note.isEmpty())
        std::fprintf(stderr, "spurwerk-find: %s\n", note.toLocal8Bit().constData());
    // the office index may be behind in folders its indexer is not told of: the answer does not
    // claim them
    if (alone) {
        for (const UncoveredFolder &uncovered : index->report().office.uncovered) {
            if (search.inclSubfolders || search.folders.contains(uncovered.folder))
                output.complain(uncovered.folder,
                                QStringLiteral("not answered from the index: ") + uncovered.reason);
        }
    }

    // an index that failed while answering alone leaves files unanswered: no "nothing found";
    // a mapping not valid is bad usage, even though the run went on without it
    if (output.troubled() || (alone && index->report().reason != IndexReport::Reason::Answered) ||
        report.office.reason == IndexReport::Reason::BadMapping)
        exitStatus = exitTrouble;
    else if (output.found())
        exitStatus = exitFound;
    if (!printer.flush()) {
        output.complain("standard output", platform::systemErrorText(errno));
        return exitTrouble;
    }
    return exitStatus;
}
