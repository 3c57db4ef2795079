#pragma once

#include "platform/folder_listing.h"
#include "platform/raw_file.h"
#include "search/byte_search.h"
#include "search/multi_byte_search.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

enum class ContentSearchOutcome
{
    Found,
    NotFound,   // also: not searched by design (empty text, folder, hidden or system file)
    Unreadable, // a candidate that could not be looked up, opened or read
    Stopped,    // a stop request ended the search before the file's end: not searched
};

struct ContentSearchResult
{
    ContentSearchOutcome outcome = ContentSearchOutcome::NotFound;
    qint64 position = 0; // 1-based byte position of the first occurrence, only when Found
    QString error;       // why the file could not be read, only when Unreadable
    // the indexes of the texts found, ascending; only when Found by a search for every text
    QList<qsizetype> texts;
};

// What the status shows before the percentage while a file is searched. Other windows tell a
// content search under way by its first seven characters, "Suche l".
inline constexpr QStringView contentSearchStatus = u"Suche läuft... ";
inline constexpr QStringView contentSearchStatusStart = contentSearchStatus.left(7);

// contentSearchStatus + percent (0 to 100) + "%", built once.
const QString &progressText(int percent);

// Receives progressText after every 4096-byte block.
using StatusSink = std::function<void(const QString &status)>;
// Asked after every 4096-byte block, once pending events have been processed: true ends the
// search there, however much of the file is left.
using StopRequest = std::function<bool()>;

// Looks for the text's bytes (each of its forms, see textForms) in the file's raw bytes, from
// startPosition (1-based).
ContentSearchResult SearchFileForText(const QByteArray &path, const QString &text,
                                      qint64 startPosition, const StatusSink &status = {},
                                      const StopRequest &stopRequested = {});

// A file to be searched, with what the listing of its folder told of it when that is known: then
// it is neither looked up nor followed along its path again.
struct Candidate
{
    QByteArray path;
    std::optional<platform::ListedEntry> listed;

    platform::FileLookup lookup() const;
    bool open(platform::RawFile &file) const;
};

// A candidate looked up, opened and the first chunk of its search read: all that search waits for
// before it compares bytes. Made on any thread, so that many can be under way at once; closed
// when it goes.
struct OpenedCandidate
{
    struct Free
    {
        void operator()(char *memory) const { std::free(memory); }
    };
    using Buffer = std::unique_ptr<char, Free>;

    // how the search ends before it compares any bytes: not searched by design, or unreadable
    std::optional<ContentSearchResult> ended;
    std::unique_ptr<platform::RawFile> file;
    qint64 start = 0;                   // the file offset the search begins at
    platform::RawFile::Stretch stretch; // the stretch that holds start
    // the stretch's first bytes, up to firstChunkBuffer's size, when given one and not a hole
    Buffer first;
    qint64 firstLength = 0;
    // whether the first bytes were in memory before they were asked for: known when the first
    // chunk was read, or when the kernel was asked for the bytes ahead
    std::optional<platform::Residence> residence;
    // The end of what the kernel was asked to read ahead (0: nothing), and how far ahead of the
    // search it goes on being asked as the search reads on.
    qint64 readAheadEnd = 0;
    qint64 readAheadWindow = 0;
};

// Room for the first chunk that openCandidate reads in a request in flight, best made on the
// thread that lets it go: the memory then stays in that thread's heap instead of spreading over
// the heaps of other threads.
OpenedCandidate::Buffer firstChunkBuffer();
// startPosition: 1-based, as ContentSearch::search takes it; buffer: from firstChunkBuffer, for
// the first chunk; without one the search reads it
OpenedCandidate openCandidate(const Candidate &candidate, qint64 startPosition = 1,
                              OpenedCandidate::Buffer buffer = {});
// Opens the candidate and asks the kernel for its first bytes, without waiting for them. On a
// local disk the run's thread does this for the coming candidates: the disk then reads many
// files at once, as for many threads, while no thread waits for any of them.
OpenedCandidate openAndReadAhead(const Candidate &candidate);

// Searches one file after another for the same texts, with one read buffer for all of them.
class ContentSearch
{
public:
    enum class Goal
    {
        FirstOccurrence, // ends at the first occurrence of any text
        EveryText,       // goes on until every text was found or the file has ended
    };

    // texts: each in the byte forms a file may hold it in; a text without bytes is never found
    explicit ContentSearch(const QList<QList<QByteArray>> &texts,
                           Goal goal = Goal::FirstOccurrence);

    // opened: by openCandidate, here or on another thread; residence: whether the file's first
    // bytes were in memory (left as it is when none were read)
    ContentSearchResult search(OpenedCandidate opened, const StatusSink &status,
                               const StopRequest &stopRequested = {},
                               platform::Residence *residence = nullptr);
    // A file read whole into memory beforehand: bytes holds all of its size (> 0) bytes.
    ContentSearchResult searchWhole(const char *bytes, qint64 size, const StatusSink &status,
                                    const StopRequest &stopRequested = {});

private:
    using Free = OpenedCandidate::Free;
    struct Findings;

    // Looks through the window, which begins at the file offset start, for the texts not found
    // yet; returns the offset just past the occurrence that ends the search, or -1 when it goes
    // on.
    qint64 scan(const char *window, qint64 size, qint64 start, Findings &findings) const;
    ContentSearchResult found(const Findings &findings) const;
    // A file that reports no length (as those in /proc do) may still hold bytes: it is read
    // chunk by chunk from start until a read brings nothing, up to a bound.
    ContentSearchResult searchToEnd(platform::RawFile &file, qint64 start,
                                    const StopRequest &stopRequested);
    Findings noFindings() const;
    // Built for the first file read: for the many names of a where-used level it takes a while,
    // and a pass whose candidates the index answers reads none.
    void prepareSearch();

    Goal m_goal;
    // every form of every text, and the text it stands for
    QList<QByteArray> m_needles;
    QList<qsizetype> m_textOfNeedle;
    // the texts that have a form to look for
    qsizetype m_textCount = 0;
    qint64 m_longest = 0;
    // one needle is searched as it always was; several at once
    std::optional<ByteSearch> m_byteSearch;
    std::optional<MultiByteSearch> m_multiSearch;
    // room for the carry-over in front of an aligned read target
    qint64 m_carryRoom = 0;
    std::unique_ptr<char, Free> m_buffer;
};
