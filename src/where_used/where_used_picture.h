#pragma once

#include <QByteArray>
#include <QHash>
#include <QRect>

#include <optional>

class WhereUsedGraph;

// The graph in Graphviz's DOT language, in layers from the top: the part, the assemblies level by
// level, the drawings. An arrow leads from a file to each file that holds its name; an older
// revision that is no current use is drawn dashed. withBoxes: each box carries its file's number,
// for renderBoxes.
QByteArray whereUsedDot(const WhereUsedGraph &graph, bool newestOnly, bool withBoxes = false);

// Lays the graph out with Graphviz's "dot" and renders it as "svg" or "png"; none when Graphviz
// could not read, lay out or render it.
std::optional<QByteArray> renderGraph(const QByteArray &dot, const char *format);

// The picture as a PNG, with the box of every file in its pixels (the part's under -1), from one
// layout; none when Graphviz failed. The DOT text must be made withBoxes.
struct BoxedPicture
{
    QByteArray png;
    QHash<qsizetype, QRect> boxes;
};
std::optional<BoxedPicture> renderBoxes(const QByteArray &dot);
