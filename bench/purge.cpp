// The duplicate purge: the grouped way the result list uses against a straight transcription of
// testing every ordered pair of positions, which must blank the same positions; then the grouped
// way alone on 100,000 entries. Prints median times; exits with 1 when the outcomes differ.
#include "main_window/result_list.h"
#include "search/name_analysis.h"

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QList>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>

namespace {

// Many groups, many revisions written several ways, mixed case, some blank entries.
QByteArrayList entries(int count, unsigned seed)
{
    static const char *const types[] = {"prt", "asm", "drw", "PRT"};
    static const char *const revisions[] = {
        "",     ".1", ".01", ".2",  ".000000000000000000001",
        ".  3", ".x", ".-1", ".10", ".100000000000000000000002"};
    std::mt19937 random(seed);
    const auto pick = [&random](int size) { return int(random() % unsigned(size)); };
    const int parts = std::max(1, count / 50);
    QByteArrayList list;
    list.reserve(count);
    for (int i = 0; i < count; ++i) {
        if (pick(20) == 0) {
            list.append(QByteArray());
            continue;
        }
        const int part = pick(parts);
        list.append("/cad/f" + QByteArray::number(pick(6)) + '/' +
                    (pick(9) == 0 ? "Teil_" : "teil_") + QByteArray::number(part) + '.' +
                    types[pick(4)] + revisions[pick(10)]);
    }
    return list;
}

// The pair-by-pair purge as written: every ordered pair, both entries read afresh, the eight
// calls of the name functions made whatever the first comparisons gave.
QList<int> pairwisePurge(const QByteArrayList &list)
{
    QStringList entry;
    for (const QByteArray &path : list)
        entry.append(QString::fromLatin1(path));
    QString status;
    const qsizetype count = entry.size();
    for (qsizetype i = 0; i < count; ++i) {
        status = QString::number(i);
        for (qsizetype j = 0; j < count; ++j) {
            if (j == i)
                continue;
            const QString &a = entry.at(i);
            const QString &b = entry.at(j);
            const QString nameA = Zerlege(a) + GetExt(a);
            const QString nameB = Zerlege(b) + GetExt(b);
            const QString typeA = GetExt(a);
            const QString typeB = GetExt(b);
            const QString revisionA = getnum(a);
            const QString revisionB = getnum(b);
            if (a == b || (!a.isEmpty() && !b.isEmpty() && nameA == nameB && typeA == typeB &&
                           revisionValue(revisionA) == revisionValue(revisionB)))
                entry[i] = QString();
        }
    }
    QList<int> blanked;
    for (qsizetype i = 0; i < count; ++i) {
        if (entry.at(i).isEmpty() && !list.at(i).isEmpty())
            blanked.append(int(i));
    }
    return blanked;
}

// Only entries that held text count: the grouped purge names those alone.
QList<int> groupedPurge(const QByteArrayList &list)
{
    return duplicatePositions(list);
}

double medianSeconds(int rounds, const std::function<void()> &work)
{
    QList<double> seconds;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        work();
        seconds.append(double(timer.nsecsElapsed()) / 1e9);
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds.at(seconds.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    // Small lists of many seeds first: they reach the corners a single large list may miss.
    for (unsigned seed = 1; seed <= 200; ++seed) {
        const QByteArrayList list = entries(int(seed % 60), seed);
        if (pairwisePurge(list) != groupedPurge(list)) {
            std::printf("outcomes differ for %d entries, seed %u\n", int(list.size()), seed);
            return 1;
        }
    }

    const QByteArrayList list = entries(2000, 2026);
    QList<int> pairwise;
    QList<int> grouped;
    const double pairwiseSeconds = medianSeconds(rounds, [&] { pairwise = pairwisePurge(list); });
    const double groupedSeconds = medianSeconds(rounds, [&] { grouped = groupedPurge(list); });
    std::printf("2000 entries, median of %d: pair by pair %.3f s, grouped %.5f s (%.0f x); "
                "%d of them blanked\n",
                rounds, pairwiseSeconds, groupedSeconds, pairwiseSeconds / groupedSeconds,
                int(grouped.size()));
    if (pairwise != grouped) {
        std::printf("the outcomes differ\n");
        return 1;
    }
    std::printf("both blank the same positions\n");

    const QByteArrayList large = entries(100000, 7);
    const double largeSeconds =
        medianSeconds(std::max(rounds, 5), [&] { grouped = groupedPurge(large); });
    std::printf("100000 entries, grouped, median of %d: %.3f s; %d blanked\n", std::max(rounds, 5),
                largeSeconds, int(grouped.size()));
    return 0;
}
