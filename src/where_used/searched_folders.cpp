#include "where_used/searched_folders.h"

#include "index/index_location.h"
#include "platform/display_text.h"
#include "platform/file_lookup.h"

#include <cerrno>
#include <unistd.h>

namespace {

bool isRoot(const QByteArray &folder)
{
    return !folder.isEmpty() && canonicalFolder(folder) == "/";
}

// Whether one of the folders is the folder or holds it; both as the index keys them.
bool heldByAny(const QByteArray &folder, const QByteArrayList &folders)
{
    const QByteArray canonical = canonicalFolder(folder);
    for (const QByteArray &holder : folders) {
        const QByteArray canonicalHolder = canonicalFolder(holder);
        if (!canonical.isEmpty() && !canonicalHolder.isEmpty() &&
            isInside(canonical, canonicalHolder))
            return true;
    }
    return false;
}

// Why the folder cannot be searched, with %1 for its name; empty when it can.
QString folderProblem(const QByteArray &folder)
{
    const platform::FileLookup lookup = platform::lookupFile(folder);
    if (lookup.kind == platform::FileKind::Folder)
        return ::access(folder.constData(), R_OK | X_OK) == 0
                   ? QString()
                   : QStringLiteral("„%1“ darf nicht gelesen werden");
    if (lookup.kind == platform::FileKind::Inaccessible && lookup.error == EACCES)
        return QStringLiteral("„%1“ nicht erreichbar");
    return QStringLiteral("„%1“ nicht gefunden");
}

} // namespace

SearchedFolders foldersForPartFile(const QByteArray &partFolder, const QByteArrayList &saved,
                                   const QByteArrayList &watched)
{
    SearchedFolders searched;
    for (const QByteArray &folder : saved) {
        if (folder.isEmpty())
            continue;
        if (isRoot(folder))
            searched.notes.append(
                QStringLiteral("„%1“ ausgelassen: es würde den ganzen Rechner durchsuchen")
                    .arg(platform::displayText(folder)));
        else
            searched.folders.append(folder);
    }
    if (searched.folders.isEmpty() && watched.isEmpty()) {
        searched.notes.append(QStringLiteral("Nur das Verzeichnis der Datei und seine "
                                             "Unterverzeichnisse wurden durchsucht: die "
                                             "Verzeichnisliste nennt kein anderes"));
    }
    if (!heldByAny(partFolder, searched.folders))
        searched.folders.prepend(partFolder);
    for (const QByteArray &folder : watched) {
        if (!heldByAny(folder, searched.folders))
            searched.folders.append(folder);
    }
    return searched;
}

SearchedFolders existingFolders(const SearchedFolders &chosen)
{
    SearchedFolders existing;
    existing.inclSubfolders = chosen.inclSubfolders;
    existing.notes = chosen.notes;
    QByteArrayList found;
    QByteArrayList canonical;
    for (const QByteArray &folder : chosen.folders) {
        if (const QString problem = folderProblem(folder); !problem.isEmpty()) {
            existing.notes.append(problem.arg(platform::displayText(folder)));
            continue;
        }
        found.append(folder);
        canonical.append(canonicalFolder(folder));
    }
    for (qsizetype i = 0; i < found.size(); ++i) {
        bool twice = false;
        for (qsizetype j = 0; j < found.size() && !twice; ++j) {
            if (j == i || canonical.at(i).isEmpty() || canonical.at(j).isEmpty())
                continue;
            // of two that are the same folder, the first is kept
            if (canonical.at(i) == canonical.at(j))
                twice = j < i;
            else
                twice = existing.inclSubfolders && isInside(canonical.at(i), canonical.at(j));
        }
        if (!twice)
            existing.folders.append(found.at(i));
    }
    return existing;
}

QString foldersText(const SearchedFolders &searched)
{
    QStringList shown;
    for (const QByteArray &folder : searched.folders)
        shown.append(platform::displayText(folder));
    return shown.join(QStringLiteral(", ")) + (searched.inclSubfolders
                                                   ? QStringLiteral(" – mit Unterverzeichnissen")
                                                   : QStringLiteral(" – ohne Unterverzeichnisse"));
}
