#pragma once

#include "where_used/where_used_graph.h"
#include "where_used/where_used_search.h"

#include <QByteArrayList>
#include <QStringList>
#include <memory>

class TestTree;
class WhereUsedModel;

// Searches the tree's folder for the part, as the where-used window does, without the window.
// namesAtOnce: the most names for which every file is read once (0: each level reads its files).
std::unique_ptr<WhereUsedGraph>
searchedGraph(const TestTree &tree, const QString &part, bool inclSubfolders = true,
              qsizetype namesAtOnce = WhereUsedSearch::namesInOnePass);

// Every row of the fully expanded model, one line each: two blanks per level, then
// "name.type.revision" and " – " with the row's mark.
QStringList expandedRows(WhereUsedModel &model);
