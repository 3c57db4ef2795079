#pragma once

#include <QByteArrayList>
#include <QString>
#include <QStringList>

// The folders a where-used answer covers, and what the window says beside them: which folders
// of a list were left out and why, or that only the part's own folder was searched.
struct SearchedFolders
{
    QByteArrayList folders;
    bool inclSubfolders = true;
    QStringList notes;
};

// The start from a part file in partFolder ("spurwerk --verwendung FILE"): every folder of the
// saved list but the root "/", which would read the whole machine, the part's folder when none of
// them holds it, and the office index's watched folders that hold the part. With none of the
// list's, the part's folder alone, which the notes say plainly. Always with sub-folders.
SearchedFolders foldersForPartFile(const QByteArray &partFolder, const QByteArrayList &saved,
                                   const QByteArrayList &watched);

// The folders as a run takes them: one that is gone, no folder or may not be read is left out
// with a note, and,
// with sub-folders, one that another holds is left out without one, so no file is read twice.
SearchedFolders existingFolders(const SearchedFolders &chosen);

// "/cad/teile, /cad/zeichnungen – mit Unterverzeichnissen", for the folder line and the exports.
QString foldersText(const SearchedFolders &searched);

// A folder of the saved list as the folder chooser offers it, ticked as in the path editor.
struct OfferedFolder
{
    QByteArray path;
    bool ticked = false;
};
