// What a level of the where-used search costs with one name and with many: searches the
// assemblies of a tree for the first N of the names given (one per line, UTF-8), all at once,
// as a level after the first does, for N from 1 to all of them; prints the median time of
// ROUNDS rounds per N and its ratio to one name. The files come from memory after the first round.
#include "search/cfindfile.h"
#include "search/search_run.h"
#include "search/text_forms.h"

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QStringList readNames(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList names;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            names.append(QString::fromUtf8(line));
    }
    return names;
}

// The assemblies, kept as the levels after the first keep them.
class Assemblies : public SearchSink
{
public:
    void missed(const Candidate &candidate) override { candidates.append(candidate); }
    QList<Candidate> candidates;
};

QList<Candidate> assemblies(SearchRun &run, const QByteArray &tree)
{
    Assemblies found;
    SearchRun::Request request;
    request.folders = {tree};
    request.pattern = "*.asm*";
    // a text no assembly holds: every one is searched once and kept
    request.texts = {{QByteArray("\x01\x02\x03 no such name")}};
    request.searchWhileWalking = true;
    run.run(request, found);
    for (Candidate &candidate : found.candidates)
        candidate.listed->folder.reset();
    return found.candidates;
}

double searchSeconds(SearchRun &run, const QList<Candidate> &candidates, const QStringList &names)
{
    QList<QList<QByteArray>> texts;
    for (const QString &name : names)
        texts.append(textForms(name));
    SearchSink ignored;
    QElapsedTimer timer;
    timer.start();
    run.searchAgain(candidates, texts, ContentSearch::Goal::EveryText, ignored);
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fputs("usage: spurwerk-level-cost NAMES TREE ROUNDS\n", stderr);
        return 2;
    }
    const QStringList names = readNames(QString::fromLocal8Bit(argv[1]));
    cFindFile finder;
    SearchRun run(finder);
    const QList<Candidate> candidates = assemblies(run, argv[2]);
    const int rounds = std::max(1, QByteArray(argv[3]).toInt());
    if (names.isEmpty() || candidates.isEmpty()) {
        std::fputs("spurwerk-level-cost: no names or no assemblies\n", stderr);
        return 2;
    }
    searchSeconds(run, candidates, names); // the files into memory
    double oneName = 0;
    for (const qsizetype count :
         {qsizetype(1), qsizetype(2), qsizetype(10), qsizetype(100), names.size()}) {
        if (count > names.size())
            continue;
        std::vector<double> seconds;
        for (int round = 0; round < rounds; ++round)
            seconds.push_back(searchSeconds(run, candidates, names.first(count)));
        std::sort(seconds.begin(), seconds.end());
        const double median = seconds[seconds.size() / 2];
        if (count == 1)
            oneName = median;
        std::printf("%lld names: %.4f s, %.2f x one name\n", static_cast<long long>(count), median,
                    median / oneName);
    }
    return 0;
}
