// Expanding nodes of a where-used tree of 10,000 files, in a tree view, offscreen: the part,
// which 5,000 assemblies in up to five revisions hold, and one of them, which 5,000 others hold.
// Prints the milliseconds each expansion takes, its rows made and laid out, and then those of
// "alle aufklappen" in the window's tree view.
#include "where_used/where_used_graph.h"
#include "where_used/where_used_model.h"
#include "where_used/where_used_tree_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeView>

#include <cstdio>
#include <functional>

namespace {

double expandMs(QTreeView &view, const QModelIndex &node)
{
    QElapsedTimer time;
    time.start();
    view.expand(node);
    view.viewport()->repaint();
    QApplication::processEvents();
    return double(time.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    constexpr int files = 10000;
    WhereUsedGraph graph(QStringLiteral("WELLE_0815"));
    QElapsedTimer built;
    built.start();
    // paths that do not exist: the rows show no date, and nothing waits for a disk
    for (int i = 0; i < files / 2; ++i) {
        const QByteArray path = "/nicht/da/baugruppe_" + QByteArray::number(i / 5) + ".asm." +
                                QByteArray::number(i % 5 + 1);
        graph.addFile(path, 1, {QStringLiteral("WELLE_0815")});
    }
    for (int i = 0; i < files / 2; ++i)
        graph.addFile("/nicht/da/anlage_" + QByteArray::number(i) + ".asm", 2,
                      {QStringLiteral("BAUGRUPPE_0")});
    std::printf("graph of %lld files built in %.1f ms\n", (long long)graph.fileCount(),
                double(built.nsecsElapsed()) / 1e6);

    WhereUsedModel model(graph);
    QTreeView view;
    view.setUniformRowHeights(true);
    view.setModel(&model);
    view.resize(1000, 600);
    view.show();
    QApplication::processEvents();
    const QModelIndex part = model.index(0, 0);
    std::printf("expand the part (%d rows): %.1f ms\n", files / 2, expandMs(view, part));
    const QModelIndex used = model.index(0, 0, part);
    std::printf("expand %s (%d rows): %.1f ms\n", qPrintable(used.data().toString()), files / 2,
                expandMs(view, used));
    std::printf("expand its first row (no rows): %.1f ms\n",
                expandMs(view, model.index(0, 0, used)));

    WhereUsedModel wholeModel(graph);
    WhereUsedTreeView wholeView;
    wholeView.setWhereUsedModel(&wholeModel);
    wholeView.resize(1000, 600);
    wholeView.show();
    QApplication::processEvents();
    QElapsedTimer time;
    time.start();
    wholeView.expandEverything();
    wholeView.viewport()->repaint();
    QApplication::processEvents();
    const double allMs = double(time.nsecsElapsed()) / 1e6;
    const std::function<int(const QModelIndex &)> rowsBelow = [&](const QModelIndex &index) {
        int rows = wholeModel.rowCount(index);
        for (int row = 0; row < wholeModel.rowCount(index); ++row)
            rows += rowsBelow(wholeModel.index(row, 0, index));
        return rows;
    };
    std::printf("expand all (%d rows): %.1f ms\n", rowsBelow(wholeModel.index(0, 0)), allMs);
    return 0;
}
