#include "where_used/where_used_picture.h"

#include "where_used/where_used_graph.h"

#include <graphviz/gvc.h>

#include <QMap>
#include <memory>

namespace {

QByteArray quoted(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + bytes + '"';
}

// One context for the whole process, never freed: Graphviz's text layout keeps the last font name
// it met in a static variable that points into the context's font table, so a second context
// would meet it freed.
GVC_t *sharedContext()
{
    static GVC_t *const context = gvContext();
    return context;
}

QByteArray nodeId(qsizetype file)
{
    return file < 0 ? QByteArrayLiteral("part") : 'f' + QByteArray::number(file);
}

QByteArray sameRank(const QList<qsizetype> &files)
{
    QByteArray line = "  { rank=same;";
    for (const qsizetype file : files)
        line += ' ' + nodeId(file) + ';';
    return line + " }\n";
}

} // namespace

QByteArray whereUsedDot(const WhereUsedGraph &graph, bool newestOnly, bool withBoxes)
{
    // Graphviz's image map names each box by its URL
    const auto box = [withBoxes](qsizetype file) {
        return withBoxes ? ", URL=\"" + nodeId(file) + '"' : QByteArray();
    };
    QByteArray dot = "digraph Verwendung {\n"
                     "  rankdir=TB; nodesep=0.15; ranksep=0.35;\n"
                     "  node [shape=box, style=filled, fillcolor=\"#ffffc0\", "
                     "fontname=\"DejaVu Sans\", fontsize=9, height=0.25, width=0.4, "
                     "margin=\"0.06,0.03\"];\n"
                     "  edge [color=\"#404040\", arrowsize=0.6];\n";
    dot += "  part [label=" + quoted(graph.root().fileName) +
           ", fillcolor=\"#ffff80\", style=\"filled,bold\"" + box(-1) + "];\n";
    QMap<int, QList<qsizetype>> assemblyLevels;
    QList<qsizetype> drawings;
    for (qsizetype file = 0; file < graph.fileCount(); ++file) {
        if (newestOnly && !graph.isNewest(file))
            continue;
        const WhereUsedGraph::File &shown = graph.file(file);
        dot += "  " + nodeId(file) + " [label=" + quoted(shown.fileName) + box(file) + "];\n";
        if (shown.type.compare(u"drw", Qt::CaseInsensitive) == 0)
            drawings.append(file);
        else
            assemblyLevels[shown.level].append(file);
    }
    for (const QList<qsizetype> &level : std::as_const(assemblyLevels))
        dot += sameRank(level);
    if (!drawings.isEmpty())
        dot += sameRank(drawings);

    // every file that holds a name below every assembly of that name, in the order they were
    // found, so that the same graph is always drawn the same way
    QStringList names{graph.root().name};
    QHash<QString, QList<qsizetype>> filesOfName{{graph.root().name, {-1}}};
    for (qsizetype file = 0; file < graph.fileCount(); ++file) {
        if ((newestOnly && !graph.isNewest(file)) || WhereUsedGraph::isDrawing(graph.file(file)))
            continue;
        QList<qsizetype> &files = filesOfName[graph.file(file).name];
        if (files.isEmpty())
            names.append(graph.file(file).name);
        files.append(file);
    }
    const QSet<QString> noNamesAbove;
    for (const QString &name : std::as_const(names)) {
        for (const TreeChild &child : treeChildren(graph, name, noNamesAbove, newestOnly)) {
            for (const qsizetype held : filesOfName.value(name)) {
                dot += "  " + nodeId(held) + " -> " + nodeId(child.file) +
                       (child.stale ? " [style=dashed, color=\"#a0a0a0\"]" : "") + ";\n";
            }
        }
    }
    return dot + "}\n";
}

namespace {

// Lays the graph out once and renders it in each format, in order.
std::optional<QByteArrayList> rendered(const QByteArray &dot, const QList<const char *> &formats)
{
    GVC_t *context = sharedContext();
    const std::unique_ptr<Agraph_t, int (*)(Agraph_t *)> graph(agmemread(dot.constData()), agclose);
    if (!context || !graph || gvLayout(context, graph.get(), "dot") != 0)
        return std::nullopt;
    std::optional<QByteArrayList> result = QByteArrayList();
    for (const char *format : formats) {
        char *data = nullptr;
        unsigned int length = 0;
        const int failed = gvRenderData(context, graph.get(), format, &data, &length);
        if (failed == 0 && data)
            result->append(QByteArray(data, length));
        else
            result.reset();
        gvFreeRenderData(data);
        if (!result)
            break;
    }
    gvFreeLayout(context, graph.get());
    return result;
}

// "rect f12 10,20 80,40" for each box of Graphviz's image map
QHash<qsizetype, QRect> boxesOfMap(const QByteArray &map)
{
    QHash<qsizetype, QRect> boxes;
    for (const QByteArray &line : map.split('\n')) {
        const QByteArrayList fields = line.simplified().split(' ');
        if (fields.size() != 4 || fields.at(0) != "rect")
            continue;
        const QByteArrayList from = fields.at(2).split(',');
        const QByteArrayList to = fields.at(3).split(',');
        if (from.size() != 2 || to.size() != 2)
            continue;
        const qsizetype file = fields.at(1) == "part" ? -1 : fields.at(1).mid(1).toLongLong();
        boxes.insert(file, QRect(QPoint(from.at(0).toInt(), from.at(1).toInt()),
                                 QPoint(to.at(0).toInt(), to.at(1).toInt())));
    }
    return boxes;
}

} // namespace

std::optional<QByteArray> renderGraph(const QByteArray &dot, const char *format)
{
    const std::optional<QByteArrayList> drawn = rendered(dot, {format});
    return drawn ? std::optional<QByteArray>(drawn->constFirst()) : std::nullopt;
}

std::optional<BoxedPicture> renderBoxes(const QByteArray &dot)
{
    const std::optional<QByteArrayList> drawn = rendered(dot, {"png", "imap"});
    if (!drawn)
        return std::nullopt;
    return BoxedPicture{drawn->at(0), boxesOfMap(drawn->at(1))};
}
