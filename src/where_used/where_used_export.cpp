#include "where_used/where_used_export.h"

#include "platform/file_lookup.h"
#include "platform/text_file.h"
#include "where_used/searched_folders.h"
#include "where_used/where_used_graph.h"

#include <functional>

namespace {

struct Row
{
    int level;
    const WhereUsedGraph::File *file;
    QString mark;
};

// Every row of the fully expanded tree in order, a file's rows once.
void forEachRow(const WhereUsedGraph &graph, bool newestOnly,
                const std::function<void(const Row &)> &take)
{
    QSet<QString> expanded;
    QSet<QString> namesAbove;
    std::function<void(const WhereUsedGraph::File &, int)> below =
        [&](const WhereUsedGraph::File &file, int level) {
            expanded.insert(file.name);
            namesAbove.insert(file.name);
            for (const TreeChild &child : treeChildren(graph, file.name, namesAbove, newestOnly)) {
                const WhereUsedGraph::File &holder = graph.file(child.file);
                const bool repeated = child.hasRowsBelow(graph) && expanded.contains(holder.name);
                QString mark;
                if (child.cycle)
                    mark = QStringLiteral("Kreisbezug");
                else if (child.stale)
                    mark = QStringLiteral("veraltet");
                else if (repeated)
                    mark = QStringLiteral("wie oben");
                take({level + 1, &holder, mark});
                if (child.hasRowsBelow(graph) && !repeated)
                    below(holder, level + 1);
            }
            namesAbove.remove(file.name);
        };
    take({0, &graph.root(), {}});
    below(graph.root(), 0);
}

QByteArray csvField(const QByteArray &field)
{
    if (!field.contains(';') && !field.contains('"') && !field.contains('\n') &&
        !field.contains('\r'))
        return field;
    QByteArray quoted = field;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

} // namespace

QByteArray whereUsedText(const WhereUsedGraph &graph, bool newestOnly,
                         const SearchedFolders &searched)
{
    platform::CrLfText text;
    // the folders' own bytes, as the rows' paths
    text.addLine(
        "Gesucht in: " + searched.folders.join(", ") +
        (searched.inclSubfolders ? " – mit Unterverzeichnissen" : " – ohne Unterverzeichnisse"));
    text.addLine(QByteArray());
    forEachRow(graph, newestOnly, [&](const Row &row) {
        QByteArray line(2 * row.level, ' ');
        if (row.file->path.isEmpty()) {
            line += row.file->fileName.toLocal8Bit();
        } else {
            const qsizetype nameStart = platform::nameStart(row.file->path);
            line += row.file->path.sliced(nameStart) + "  " + row.file->path.left(nameStart);
        }
        if (!row.mark.isEmpty())
            line += "  (" + row.mark.toLocal8Bit() + ')';
        text.addLine(line);
    });
    return text.bytes();
}

QByteArray whereUsedCsv(const WhereUsedGraph &graph, bool newestOnly,
                        const SearchedFolders &searched)
{
    platform::CrLfText text;
    QByteArrayList folders{"Gesucht in"};
    for (const QByteArray &folder : searched.folders)
        folders.append(csvField(folder));
    text.addLine(folders.join(';'));
    text.addLine(QByteArrayLiteral("Unterverzeichnisse;") +
                 (searched.inclSubfolders ? "ja" : "nein"));
    text.addLine(QStringLiteral("Ebene;Name;Typ;Revision;Pfad;Vermerk"));
    forEachRow(graph, newestOnly, [&](const Row &row) {
        const QByteArrayList fields{QByteArray::number(row.level),
                                    csvField(row.file->baseName.toLocal8Bit()),
                                    csvField(row.file->type.toLocal8Bit()),
                                    csvField(row.file->revision.toLocal8Bit()),
                                    csvField(row.file->path),
                                    row.mark.toLocal8Bit()};
        text.addLine(fields.join(';'));
    });
    return text.bytes();
}

QByteArray exportPath(const QByteArray &folder, const QString &partName, const char *ending)
{
    QString name = QStringLiteral("Verwendung_") + partName;
    // a name typed into the search box may hold a separator
    name.replace(u'/', u'_');
    return platform::inFolder(folder,
                              (name + QLatin1Char('.') + QLatin1String(ending)).toLocal8Bit());
}
