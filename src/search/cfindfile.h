#pragma once

#include "platform/file_lookup.h"
#include "platform/folder_listing.h"

#include <QByteArray>
#include <QObject>
#include <vector>

// Walks one folder (and, on request, its sub-folders depth-first) and reports every entry whose
// name matches a wildcard pattern. Paths are bytes, as the file system holds them.
class cFindFile : public QObject
{
    Q_OBJECT

public:
    explicit cFindFile(QObject *parent = nullptr);

    // Throws FindFileError (number 9999) when a level of the walk fails.
    void sStartSearch();

    void setSFileFlag(qint32 flag);
    qint32 sFileFlag() const;
    void setSInclSubfolders(bool include);
    bool sInclSubfolders() const;
    void setSFileToFind(const QByteArray &pattern);
    QByteArray sFileToFind() const;
    void setSSearchpath(const QByteArray &path);
    QByteArray sSearchpath() const;

    // While MatchFound is raised: what the folder's listing told of the reported entry, so that a
    // content search need not look the file up again.
    platform::ListedEntry matchEntry() const { return m_matchEntry; }

Q_SIGNALS:
    // name without folder; folder always ends with the path separator
    void MatchFound(const QByteArray &name, const QByteArray &folder);
    // answer is false when raised; set it to true to end the walk of the asking level
    void StopSearch(bool &answer);

private:
    enum class Member;
    [[noreturn]] static void RaiseError(Member member);
    template<typename Action> static auto trapped(Member member, Action action);

    void walkLevel(platform::FolderListing &listing);

    qint32 m_fileFlag = 439; // an attribute mask, kept for the owner; the walk does not apply it
    bool m_inclSubfolders = true;
    QByteArray m_fileToFind;
    QByteArray m_searchpath;
    // the folders from the walk's top level down to the level being walked, to refuse loops
    std::vector<platform::FolderIdentity> m_walkPath;
    platform::ListedEntry m_matchEntry;
};
