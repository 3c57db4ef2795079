// The where-used window's answer, offscreen: the levels up to LEVELS of TEXT over the folders,
// with their sub-folders. Prints "LEVEL<TAB>PATH" for every assembly and drawing found, and on
// standard error the time from the question to each level shown and to the finished tree and
// picture, without the start-up of a Qt program. For timing against spurwerk-find --levels; run it
// with a settings location of its own.
#include "where_used/where_used_graph.h"
#include "where_used/where_used_question.h"
#include "where_used/where_used_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QWindow>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("spurwerk"));
    QCoreApplication::setApplicationName(QStringLiteral("spurwerk"));
    if (argc < 4) {
        std::fputs("usage: spurwerk-where-used-run LEVELS TEXT FOLDER...\n", stderr);
        return 2;
    }
    WhereUsedQuestion question;
    question.maxLevels = QByteArray(argv[1]).toInt();
    question.name = QString::fromLocal8Bit(argv[2]).toUpper();
    for (int i = 3; i < argc; ++i)
        question.folders.append(argv[i]);

    auto *window = new WhereUsedWindow([](const QStringList &) {});
    window->show();
    while (!window->windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents();
    QEventLoop finished;
    QObject::connect(window, &WhereUsedWindow::searchFinished, &finished, &QEventLoop::quit);
    QElapsedTimer answerTime;
    QObject::connect(window, &WhereUsedWindow::levelShown, window, [&answerTime](int level) {
        std::fprintf(stderr, "level %d shown after seconds: %.4f\n", level,
                     double(answerTime.nsecsElapsed()) / 1e9);
    });
    answerTime.start();
    window->ask(question);
    finished.exec();
    std::fprintf(stderr, "run seconds: %.4f\n", double(answerTime.nsecsElapsed()) / 1e9);

    const WhereUsedGraph &graph = window->graph();
    for (qsizetype file = 0; file < graph.fileCount(); ++file) {
        const WhereUsedGraph::File &found = graph.file(file);
        std::printf("%d\t%s\n", found.level, found.path.constData());
    }
    return graph.fileCount() > 0 ? 0 : 1;
}
