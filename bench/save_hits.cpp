// Saves a hit list as the result list's "in Textdatei speichern" does: the same lines, written
// whole beside whatsfound.txt and renamed over it. LIST holds the hits' paths, one per line.
// With ROUNDS, saves that many times and prints the median time of one save, the process's
// start and the reading of LIST left out. compare_save_with_cat.sh runs it against cat.
#include "main_window/result_list.h"
#include "platform/text_file.h"

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QFile>
#include <QList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (argc != 3 && argc != 4) {
        std::fputs("usage: spurwerk-save-hits LIST FOLDER [ROUNDS]\n", stderr);
        return 2;
    }
    QFile list(QFile::decodeName(argv[1]));
    if (!list.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    QByteArrayList hits = list.readAll().split('\n');
    if (!hits.isEmpty() && hits.last().isEmpty())
        hits.removeLast();
    const int rounds = argc == 4 ? std::max(1, std::atoi(argv[3])) : 1;

    QList<double> seconds;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const platform::FileWriteResult result = platform::replaceFile(
            whatsfoundPath(argv[2]),
            whatsfoundContents(QStringLiteral("WELLE_0815"), QStringLiteral("asm"), hits));
        seconds.append(double(timer.nsecsElapsed()) / 1e9);
        if (!result.written) {
            std::fprintf(stderr, "%s\n", qPrintable(result.errorText));
            return 1;
        }
    }
    if (argc == 4) {
        std::sort(seconds.begin(), seconds.end());
        std::printf("%.6f\n", seconds.at(seconds.size() / 2));
    }
    return 0;
}
