#pragma once

#include <QByteArray>

#include <optional>

class WhereUsedGraph;

// The graph in Graphviz's DOT language, in layers from the top: the part, the assemblies level by
// level, the drawings. An arrow leads from a file to each file that holds its name; an older
// revision that is no current use is drawn dashed.
QByteArray whereUsedDot(const WhereUsedGraph &graph, bool newestOnly);

// Lays the graph out with Graphviz's "dot" and renders it as "svg" or "png"; none when Graphviz
// could not read, lay out or render it.
std::optional<QByteArray> renderGraph(const QByteArray &dot, const char *format);
