#include "search/cfindfile.h"

#include "platform/event_pump.h"
#include "platform/folder_listing.h"
#include "platform/system_error.h"
#include "platform/wildcard_pattern.h"
#include "search/find_file_error.h"

#include <chrono>
#include <new>
#include <utility>

enum class cFindFile::Member
{
    sStartSearch,
    sFileFlagLet,
    sFileFlagGet,
    sInclSubfoldersLet,
    sInclSubfoldersGet,
    sFileToFindLet,
    sFileToFindGet,
    sSearchpathLet,
    sSearchpathGet,
};

namespace {

constexpr qint32 findFileErrorNumber = 9999;

struct ErrorTexts
{
    const char *source;
    const char *description;
};

// in the order of cFindFile::Member
constexpr ErrorTexts errorTexts[] = {
    {"cFindFile:sStartSearch Method", "Fehler bei sStartSearch"},
    {"cFindFile:sFileFlag Property Let", "Fehler bei sFileFlag Property Let"},
    {"cFindFile:sFileFlag Property Get", "Fehler bei sFileFlag Property Get"},
    {"cFindFile:sInclSubfolders Property Let", "Fehler bei sInclSubfolders Property Let"},
    {"cFindFile:sInclSubfolders Property Get", "Fehler bei sInclSubfolders Property Get"},
    {"cFindFile:sFileToFind Property Let", "Fehler bei sFileToFind Property Let"},
    {"cFindFile:sFileToFind Property Get", "Fehler bei sFileToFind Property Get"},
    {"cFindFile:sSearchpath Property Let", "Fehler bei sSearchpath Property Let"},
    {"cFindFile:sSearchpath Property Get", "Fehler bei sSearchpath Property Get"},
};

// The matching entries of one folder between the two passes, names and kinds packed, up to a
// bound: a folder of a million entries is listed a second time rather than held.
class Matches
{
public:
    void add(QByteArrayView name, platform::FileLookup kind)
    {
        if (m_overflowed)
            return;
        if (m_names.size() + name.size() >= maxNameBytes) {
            m_overflowed = true;
            m_names.clear();
            m_kinds.clear();
            return;
        }
        m_names.append(name).append('\0');
        m_kinds.push_back(kind);
    }
    bool overflowed() const { return m_overflowed; }

    template<typename Report> void forEach(Report report) const
    {
        qsizetype start = 0;
        for (const platform::FileLookup kind : m_kinds) {
            const qsizetype end = m_names.indexOf('\0', start);
            report(QByteArrayView(m_names).sliced(start, end - start), kind);
            start = end + 1;
        }
    }

private:
    static constexpr qsizetype maxNameBytes = 1024 * 1024;
    QByteArray m_names; // each name ended by a NUL, which no name holds
    std::vector<platform::FileLookup> m_kinds;
    bool m_overflowed = false;
};

// A folder is walked once a run: a link back up would lead round in circles, and two ways to
// one folder would report its entries twice.
bool walkedBefore(platform::FolderListing &listing, const QSet<platform::FolderIdentity> &walked)
{
    const auto identity = listing.identity();
    return identity && walked.contains(*identity);
}

} // namespace

cFindFile::cFindFile(QObject *parent)
    : QObject(parent)
{}

void cFindFile::RaiseError(Member member, const QString &cause)
{
    const ErrorTexts &texts = errorTexts[static_cast<int>(member)];
    throw FindFileError(findFileErrorNumber, QString::fromLatin1(texts.source),
                        QString::fromLatin1(texts.description), cause);
}

template<typename Action> auto cFindFile::trapped(Member member, Action action)
{
    try {
        return action();
    } catch (const FindFileError &error) {
        RaiseError(member, error.cause);
    } catch (const std::bad_alloc &) {
        RaiseError(member, QStringLiteral("out of memory"));
    } catch (const std::exception &error) {
        RaiseError(member, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        RaiseError(member, QStringLiteral("an unknown error"));
    }
}

cFindFile::Run::Run(cFindFile &finder)
    : m_finder(finder)
    , m_outer(std::exchange(finder.m_run, &m_walked))
{}

cFindFile::Run::~Run()
{
    m_finder.m_run = m_outer;
}

void cFindFile::sStartSearch()
{
    trapped(Member::sStartSearch, [this] {
        m_unlistedFolders.clear();
        QSet<platform::FolderIdentity> ownRun;
        walk(m_run ? *m_run : ownRun);
    });
}

// Depth-first without recursion, so that no depth of folders can exhaust the stack: a level per
// folder on the way down holds only the names of its sub-folders left, and one path is shared,
// cut back and extended as the walk goes.
void cFindFile::walk(QSet<platform::FolderIdentity> &walked)
{
    QByteArray path = platform::inFolder(m_searchpath, "");
    std::vector<Level> levels;
    {
        platform::FolderListing listing(path);
        if (walkedBefore(listing, walked))
            return;
        listLevel(listing, path, walked, levels);
    }
    while (!levels.empty()) {
        Level &level = levels.back();
        if (level.next == level.subfolders.size()) {
            levels.pop_back();
            continue;
        }
        ListingAhead ahead = nextListing(level, path);
        platform::FolderListing &listing = *ahead.listing;
        const QByteArray &name = level.subfolders.at(level.next++);
        path.truncate(level.pathLength);
        path.append(name).append('/');
        listAhead(level, path);
        if (walkedBefore(listing, walked))
            continue;
        Q_EMIT StopSearch(level.stopAnswer);
        // the answer ends the asking level: its parent goes on with its next sub-folder
        if (level.stopAnswer) {
            levels.pop_back();
            continue;
        }
        // the folder the walk is in, as a recursive walk would have left it
        m_searchpath.truncate(level.pathLength - 1);
        m_searchpath.append('/').append(name);
        listLevel(listing, path, walked, levels, std::move(ahead.subfolders));
    }
}

// On a share each listing waits several round trips (the folder's lookup, its opening, its
// entries): while listings wait, the next few sub-folders of a level are opened and read while the
// walk is elsewhere.
void cFindFile::listAhead(Level &level, const QByteArray &path)
{
    while (level.ahead.size() < aheadPerLevel &&
           level.next + qsizetype(level.ahead.size()) < level.subfolders.size()) {
        std::shared_ptr<AheadSlot> slot = AheadSlot::take(m_aheadLeft);
        if (!slot)
            break;
        level.ahead.push_back(
            listingOf(level, path, level.next + qsizetype(level.ahead.size()), std::move(slot)));
    }
    if (m_lookahead.inFlight()) {
        for (ListingInFlight &ahead : level.ahead)
            ahead.post();
    }
}

std::shared_ptr<cFindFile::AheadSlot> cFindFile::AheadSlot::take(std::atomic<int> &left)
{
    if (left.fetch_sub(1) > 0)
        return std::make_shared<AheadSlot>(left);
    left.fetch_add(1);
    return nullptr;
}

cFindFile::ListingInFlight cFindFile::listingOf(const Level &level, const QByteArray &path,
                                                qsizetype subfolder,
                                                std::shared_ptr<AheadSlot> slot)
{
    const QByteArray name = level.subfolders.at(subfolder);
    // near the bottom of the way down the folder is still open: no path to follow again
    const std::shared_ptr<const platform::OpenFolder> folder = level.folder;
    const QByteArray byPath = folder ? QByteArray() : path.left(level.pathLength) + name + '/';
    // the walk waits for its listings: they go before the candidates' requests
    return ListingInFlight(
        [folder, name, byPath, slot = std::move(slot), left = &m_aheadLeft,
         speculate = m_lookahead.inFlight()] {
            return readListing(folder, name, byPath, slot, *left, speculate);
        },
        platform::Request::Urgent);
}

cFindFile::ListingAhead
cFindFile::readListing(const std::shared_ptr<const platform::OpenFolder> &parent,
                       const QByteArray &name, const QByteArray &path,
                       std::shared_ptr<AheadSlot> slot, std::atomic<int> &left, bool speculate)
{
    ListingAhead ahead{parent ? std::make_unique<platform::FolderListing>(*parent, name)
                              : std::make_unique<platform::FolderListing>(path),
                       {},
                       std::move(slot)};
    ahead.listing->readAhead();
    if (!speculate || !ahead.listing->isOpen())
        return ahead;
    const std::shared_ptr<const platform::OpenFolder> folder = ahead.listing->folder();
    for (const QByteArray &subfolder : ahead.listing->foldersReadAhead(aheadPerLevel)) {
        std::shared_ptr<AheadSlot> subfolderSlot = AheadSlot::take(left);
        if (!subfolderSlot)
            break;
        ListingInFlight listing(
            [folder, subfolder, subfolderSlot, left = &left] {
                return readListing(folder, subfolder, {}, subfolderSlot, *left, true);
            },
            platform::Request::Urgent);
        listing.post();
        ahead.subfolders.emplace_back(subfolder, std::move(listing));
    }
    return ahead;
}

cFindFile::ListingAhead cFindFile::nextListing(Level &level, const QByteArray &path)
{
    ListingInFlight next = level.ahead.empty() ? listingOf(level, path, level.next, nullptr)
                                               : std::move(level.ahead.front());
    if (!level.ahead.empty())
        level.ahead.erase(level.ahead.begin());
    std::chrono::steady_clock::duration took;
    ListingAhead listing = next.take(&took);
    m_lookahead.noteAnswer(platform::Lookahead::waitedFor(took));
    return listing;
}

// One listing serves both passes: pass 1 keeps the sub-folders and the matches, pass 2 reports
// the matches. Only a folder whose matches outgrow what is worth keeping is listed a second time.
void cFindFile::listLevel(platform::FolderListing &listing, const QByteArray &folder,
                          QSet<platform::FolderIdentity> &walked, std::vector<Level> &levels,
                          decltype(ListingAhead::subfolders) ahead)
{
    if (!listing.isOpen()) {
        m_unlistedFolders.append({folder, platform::systemErrorText(listing.openError())});
        return;
    }
    if (const auto identity = listing.identity())
        walked.insert(*identity);

    // each level takes the properties as they are when it begins
    if (!m_pattern || m_pattern->first != m_fileToFind)
        m_pattern.emplace(m_fileToFind, platform::WildcardPattern(m_fileToFind));
    const platform::WildcardPattern &pattern = m_pattern->second;
    const bool inclSubfolders = m_inclSubfolders;

    const auto isDotOrDotDot = [](QByteArrayView name) { return name == "." || name == ".."; };

    QList<QByteArray> subfolders;
    Matches matches;
    while (listing.next()) {
        const QByteArrayView name = listing.name();
        const bool match = pattern.matches(name);
        // the kind may cost a look-up: asked only when a sub-folder or a match needs it
        std::optional<platform::FileLookup> kind;
        if (!isDotOrDotDot(name) && (inclSubfolders || match)) {
            kind = listing.kind();
            if (inclSubfolders && kind->kind == platform::FileKind::Folder)
                subfolders.append(name.toByteArray());
            // a link that cannot be followed may lead to a folder: what it holds is not searched
            if (inclSubfolders && !match && kind->kind == platform::FileKind::Inaccessible)
                m_unlistedFolders.append({platform::inFolder(folder, name) + '/',
                                          platform::systemErrorText(kind->error)});
        }
        // "." and ".." are folders, and never reported
        if (match)
            matches.add(name, kind.value_or(platform::FileLookup{platform::FileKind::Folder}));
        platform::processPendingEvents();
    }
    if (listing.listError() != 0)
        m_unlistedFolders.append({folder, platform::systemErrorText(listing.listError()), true});

    // the folder stays open for the reports, so that their files can be opened by name
    const std::shared_ptr<const platform::OpenFolder> openFolder = listing.folder();
    // The level is there before the reports, so that the listings of its sub-folders are under
    // way while its matches are searched. The deepest few levels keep their folders open to open
    // their sub-folders in; above them a sub-folder is opened by its path, so that no depth runs
    // out of descriptors.
    if (inclSubfolders && !subfolders.isEmpty()) {
        if (levels.size() >= openLevels)
            levels[levels.size() - openLevels].folder.reset();
        levels.push_back({folder.size(), std::move(subfolders), 0, false, openFolder});
        Level &level = levels.back();
        // those begun while the folder was read ahead serve as long as they are its first ones
        for (auto &[name, listing] : ahead) {
            if (level.ahead.size() == size_t(level.subfolders.size()) ||
                level.subfolders.at(qsizetype(level.ahead.size())) != name)
                break;
            level.ahead.push_back(std::move(listing));
        }
        listAhead(level, folder);
    }
    const auto report = [&](QByteArrayView name, platform::FileLookup kind) {
        if (!isDotOrDotDot(name)) {
            m_matchEntry = {openFolder, kind};
            Q_EMIT MatchFound(name.toByteArray(), folder);
            m_matchEntry = {};
        }
        platform::processPendingEvents();
    };
    if (matches.overflowed()) {
        listing.rewind();
        while (listing.next()) {
            if (pattern.matches(listing.name()))
                report(listing.name(), listing.kind());
        }
    } else {
        matches.forEach(report);
    }
    listing.close();
}

void cFindFile::setSFileFlag(qint32 flag)
{
    trapped(Member::sFileFlagLet, [&] { m_fileFlag = flag; });
}

qint32 cFindFile::sFileFlag() const
{
    return trapped(Member::sFileFlagGet, [&] { return m_fileFlag; });
}

void cFindFile::setSInclSubfolders(bool include)
{
    trapped(Member::sInclSubfoldersLet, [&] { m_inclSubfolders = include; });
}

bool cFindFile::sInclSubfolders() const
{
    return trapped(Member::sInclSubfoldersGet, [&] { return m_inclSubfolders; });
}

void cFindFile::setSFileToFind(const QByteArray &pattern)
{
    trapped(Member::sFileToFindLet, [&] { m_fileToFind = pattern; });
}

QByteArray cFindFile::sFileToFind() const
{
    return trapped(Member::sFileToFindGet, [&] { return m_fileToFind; });
}

void cFindFile::setSSearchpath(const QByteArray &path)
{
    trapped(Member::sSearchpathLet, [&] { m_searchpath = path; });
}

QByteArray cFindFile::sSearchpath() const
{
    return trapped(Member::sSearchpathGet, [&] { return m_searchpath; });
}
