#include "search/cfindfile.h"

#include "platform/directory_search.h"
#include "platform/event_pump.h"
#include "platform/path_syntax.h"
#include "search/find_file_error.h"

#include <QScopeGuard>
#include <algorithm>
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

// Keeps a level's folder on the walk's path while the level descends.
class WalkPathEntry
{
public:
    WalkPathEntry(std::vector<platform::FolderIdentity> &walkPath,
                  std::optional<platform::FolderIdentity> folder)
        : m_walkPath(walkPath)
        , m_pushed(folder.has_value())
    {
        if (m_pushed)
            m_walkPath.push_back(*folder);
    }
    ~WalkPathEntry()
    {
        if (m_pushed)
            m_walkPath.pop_back();
    }
    WalkPathEntry(const WalkPathEntry &) = delete;
    WalkPathEntry &operator=(const WalkPathEntry &) = delete;

private:
    std::vector<platform::FolderIdentity> &m_walkPath;
    bool m_pushed;
};

} // namespace

cFindFile::cFindFile(QObject *parent)
    : QObject(parent)
{}

void cFindFile::RaiseError(Member member)
{
    const ErrorTexts &texts = errorTexts[static_cast<int>(member)];
    throw FindFileError(findFileErrorNumber, QString::fromLatin1(texts.source),
                        QString::fromLatin1(texts.description));
}

template<typename Action> auto cFindFile::trapped(Member member, Action action)
{
    try {
        return action();
    } catch (...) {
        RaiseError(member);
    }
}

void cFindFile::sStartSearch()
{
    trapped(Member::sStartSearch, [this] {
        // a search started from a handler inside a walk has a path of its own
        const auto restoreOuterWalkPath =
            qScopeGuard([this, outer = std::exchange(m_walkPath, {})] { m_walkPath = outer; });
        walkLevel();
    });
}

void cFindFile::walkLevel()
{
    const QByteArray pattern = m_fileToFind;
    const bool inclSubfolders = m_inclSubfolders;
    QByteArray folder = m_searchpath;
    if (!folder.endsWith(pathSeparator()))
        folder.append(pathSeparator());

    const auto isDotOrDotDot = [](QByteArrayView name) { return name == "." || name == ".."; };

    QList<QByteArray> subfolders;
    {
        static const platform::WildcardPattern everyEntry(QByteArrayLiteral("*"));
        platform::DirectorySearch search(folder, everyEntry);
        while (search.isValid()) {
            if (!isDotOrDotDot(search.name()) && search.isFolder())
                subfolders.append(search.name().toByteArray());
            search.findNext();
            platform::processPendingEvents();
        }
    }
    {
        platform::DirectorySearch search(folder, platform::WildcardPattern(pattern));
        while (search.isValid()) {
            if (!isDotOrDotDot(search.name()))
                Q_EMIT MatchFound(search.name().toByteArray(), folder);
            search.findNext();
            platform::processPendingEvents();
        }
    }
    if (!inclSubfolders || subfolders.isEmpty())
        return;

    const WalkPathEntry onWalkPath(m_walkPath, platform::folderIdentity(folder));
    bool stopAnswer = false;
    for (const QByteArray &name : std::as_const(subfolders)) {
        const QByteArray subfolder = folder + name;
        // a link back to a folder the walk is inside would lead round in circles
        const auto identity = platform::folderIdentity(subfolder);
        if (identity &&
            std::find(m_walkPath.begin(), m_walkPath.end(), *identity) != m_walkPath.end())
            continue;
        Q_EMIT StopSearch(stopAnswer);
        if (stopAnswer)
            return;
        m_searchpath = subfolder;
        walkLevel();
    }
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
