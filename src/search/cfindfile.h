#pragma once

#include "platform/file_lookup.h"
#include "platform/folder_listing.h"
#include "platform/requests_in_flight.h"
#include "platform/wildcard_pattern.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>
#include <utility>
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

    // While a run lives, the calls of sStartSearch walk every folder once between them, however
    // many links or searched folders lead to it. Without one, each call is a run of its own.
    class Run
    {
    public:
        explicit Run(cFindFile &finder);
        ~Run();
        Run(const Run &) = delete;
        Run &operator=(const Run &) = delete;

    private:
        cFindFile &m_finder;
        QSet<platform::FolderIdentity> m_walked;
        QSet<platform::FolderIdentity> *m_outer;
    };

    void setSFileFlag(qint32 flag);
    qint32 sFileFlag() const;
    void setSInclSubfolders(bool include);
    bool sInclSubfolders() const;
    void setSFileToFind(const QByteArray &pattern);
    QByteArray sFileToFind() const;
    void setSSearchpath(const QByteArray &path);
    QByteArray sSearchpath() const;

    // A folder the walk could not list and passed over, and why.
    struct UnlistedFolder
    {
        QByteArray path; // ends with the path separator, as MatchFound's folder does
        QString reason;
        // the listing failed after some of its entries: those were walked
        bool partly = false;
    };
    // The folders the last call of sStartSearch could not list, in the order it came to them.
    const QList<UnlistedFolder> &unlistedFolders() const { return m_unlistedFolders; }

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
    [[noreturn]] static void RaiseError(Member member, const QString &cause);
    template<typename Action> static auto trapped(Member member, Action action);

    // One of the listings the walk may hold ahead, given back when the listing is taken or let go.
    class AheadSlot
    {
    public:
        static std::shared_ptr<AheadSlot> take(std::atomic<int> &left);
        explicit AheadSlot(std::atomic<int> &left)
            : m_left(left)
        {}
        ~AheadSlot() { m_left.fetch_add(1); }
        AheadSlot(const AheadSlot &) = delete;
        AheadSlot &operator=(const AheadSlot &) = delete;

    private:
        std::atomic<int> &m_left;
    };

    // A folder's listing read ahead, with the listings of its first sub-folders begun as soon as
    // its entries were read: on a share the walk down a branch would otherwise wait for each
    // level in turn.
    struct ListingAhead
    {
        std::unique_ptr<platform::FolderListing> listing;
        std::vector<std::pair<QByteArray, platform::InFlight<ListingAhead>>> subfolders;
        std::shared_ptr<AheadSlot> slot;
    };
    using ListingInFlight = platform::InFlight<ListingAhead>;

    // A folder on the way down whose sub-folders are still to be walked.
    struct Level
    {
        qsizetype pathLength; // of the walk's path up to this folder's separator
        QList<QByteArray> subfolders;
        qsizetype next = 0;
        bool stopAnswer = false;
        // open while the level is among the deepest openLevels
        std::shared_ptr<const platform::OpenFolder> folder;
        // the listings of the sub-folders from next on, opened and read ahead
        std::vector<ListingInFlight> ahead = {};
    };
    static constexpr size_t openLevels = 16;
    // listings kept in flight on each level, and in all: each holds a descriptor and a buffer
    static constexpr size_t aheadPerLevel = 32;
    static constexpr size_t aheadInAll = 128;

    // walked: the folders of the run walked so far
    void walk(QSet<platform::FolderIdentity> &walked);
    // Opens the listings of the level's coming sub-folders ahead, as far as the bounds allow.
    // path: the walk's path, up to the level's folder at least
    void listAhead(Level &level, const QByteArray &path);
    // The listing of the level's sub-folder of that index, to be opened and read.
    ListingInFlight listingOf(const Level &level, const QByteArray &path, qsizetype subfolder,
                              std::shared_ptr<AheadSlot> slot);
    // Opens and reads a listing, by the folder's name in its open parent or else by its path;
    // speculate: begins the listings of its first sub-folders, as far as slots are left.
    static ListingAhead readListing(const std::shared_ptr<const platform::OpenFolder> &parent,
                                    const QByteArray &name, const QByteArray &path,
                                    std::shared_ptr<AheadSlot> slot, std::atomic<int> &left,
                                    bool speculate);
    // The listing of the level's next sub-folder, read ahead or opened now.
    ListingAhead nextListing(Level &level, const QByteArray &path);
    // Reports the folder's matches and, when it has sub-folders to walk, puts it on the levels.
    // ahead: the listings of the folder's first sub-folders, begun already
    void listLevel(platform::FolderListing &listing, const QByteArray &folder,
                   QSet<platform::FolderIdentity> &walked, std::vector<Level> &levels,
                   decltype(ListingAhead::subfolders) ahead = {});

    qint32 m_fileFlag = 439; // an attribute mask, kept for the owner; the walk does not apply it
    bool m_inclSubfolders = true;
    QByteArray m_fileToFind;
    QByteArray m_searchpath;
    // the folders walked in the owner's run under way; none outside a run
    QSet<platform::FolderIdentity> *m_run = nullptr;
    platform::ListedEntry m_matchEntry;
    // the pattern of the level walked last, made from that sFileToFind
    std::optional<std::pair<QByteArray, platform::WildcardPattern>> m_pattern;
    QList<UnlistedFolder> m_unlistedFolders;
    // how many more listings may be held ahead, on all levels and below them
    std::atomic<int> m_aheadLeft{int(aheadInAll)};
    platform::Lookahead m_lookahead{int(aheadInAll)};
};
