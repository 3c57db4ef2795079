#pragma once

#include <QByteArray>
#include <QString>

class WhereUsedGraph;
struct SearchedFolders;

// The tree as a person reads it, after a line that names the folders searched: one line per row,
// indented two blanks per level, the file's name, its folder and its mark. A file whose rows were
// written before is written again with the mark "wie oben" and without them, so a file used in many
// places does not multiply the file.
QByteArray whereUsedText(const WhereUsedGraph &graph, bool newestOnly,
                         const SearchedFolders &searched);
// The same rows for a spreadsheet: level, name, type, revision, path and mark, separated by
// semicolons as German spreadsheets expect, after a line of the folders searched and one that
// says whether their sub-folders were.
QByteArray whereUsedCsv(const WhereUsedGraph &graph, bool newestOnly,
                        const SearchedFolders &searched);

// The file an export goes to in the folder: "Verwendung_<part>" with the ending.
QByteArray exportPath(const QByteArray &folder, const QString &partName, const char *ending);
