#include "where_used_tree.h"

#include "search/cfindfile.h"
#include "search/search_run.h"
#include "test_tree.h"
#include "where_used/where_used_model.h"
#include "where_used/where_used_question.h"
#include "where_used/where_used_search.h"

#include <functional>

std::unique_ptr<WhereUsedGraph> searchedGraph(const TestTree &tree, const QString &part,
                                              bool inclSubfolders, qsizetype namesAtOnce)
{
    auto graph = std::make_unique<WhereUsedGraph>(part);
    cFindFile finder;
    SearchRun run(finder);
    SearchSink quiet;
    WhereUsedSearch search(*graph, quiet);
    WhereUsedQuestion question;
    question.name = part;
    question.folders = {tree.root()};
    question.inclSubfolders = inclSubfolders;
    search.run(
        run, question, [](int) {}, namesAtOnce);
    return graph;
}

QStringList expandedRows(WhereUsedModel &model)
{
    QStringList rows;
    const std::function<void(const QModelIndex &, int)> add = [&](const QModelIndex &index,
                                                                  int level) {
        QString row = QString(2 * level, u' ') + index.data().toString();
        for (const int column : {WhereUsedModel::TypeColumn, WhereUsedModel::RevisionColumn}) {
            const QString piece = index.siblingAtColumn(column).data().toString();
            if (!piece.isEmpty())
                row += u'.' + piece;
        }
        if (const QString mark =
                index.siblingAtColumn(WhereUsedModel::MarkColumn).data().toString();
            !mark.isEmpty())
            row += QStringLiteral(" – ") + mark;
        rows.append(row);
        if (model.canFetchMore(index))
            model.fetchMore(index);
        for (int child = 0; child < model.rowCount(index); ++child)
            add(model.index(child, 0, index), level + 1);
    };
    add(model.index(0, 0), 0);
    return rows;
}
