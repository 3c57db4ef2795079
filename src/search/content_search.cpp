#include "search/content_search.h"

#include "platform/event_pump.h"
#include "platform/system_error.h"
#include "search/text_forms.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace {

// The status line counts progress in blocks of this size.
constexpr qint64 blockSize = 4096;
// One system call per block would cost about as much as copying the block; read 16 at a time.
constexpr qint64 chunkSize = 16 * blockSize;
// what a file that reports no length may bring at most: some such files (a process's page map)
// read as gigabytes of numbers
constexpr qint64 unknownLengthLimit = 16 * 1024 * 1024;
// The kernel copies several times faster into a target on a cache-line boundary.
constexpr qint64 readAlignment = 64;
// Read by a request in flight: the small files whole, and enough of a large one to find the
// text early, with little held per request.
constexpr qint64 firstChunkInFlight = 16 * 1024;
// Asked for ahead of the search while a file is not in memory: on a share the kernel's own
// read-ahead keeps one request in flight, and each waits a round trip.
constexpr qint64 readAheadBytes = 1024 * 1024;
// Asked for at once of a file on a local disk, and as far ahead of the search: most assemblies
// whole, in few large requests, which a disk answers sooner than many small ones, though the
// bytes after a hit are read for nothing (less ahead made the search slower, bench/README.md).
constexpr qint64 readAheadOnDisk = 4 * 1024 * 1024;

qint64 alignUp(qint64 value)
{
    return (value + readAlignment - 1) / readAlignment * readAlignment;
}

ContentSearchResult unreadable(const QString &why)
{
    return {ContentSearchOutcome::Unreadable, 0, why, {}};
}

class BlockProgress
{
public:
    BlockProgress(qint64 start, qint64 size, const StatusSink &status,
                  const StopRequest &stopRequested)
        : m_nextBlockEnd(start)
        , m_size(size)
        , m_status(status)
        , m_stopRequested(stopRequested)
    {}

    // Reports each block not reported yet, up to the one that holds the byte before end. False
    // when a stop was requested after one of them and the file is not at its end: a stop must
    // not wait for the rest of a large file.
    bool reportUpTo(qint64 end)
    {
        while (m_nextBlockEnd < end) {
            m_nextBlockEnd = std::min(m_nextBlockEnd + blockSize, m_size);
            if (m_status) {
                const int percent = int(double(m_nextBlockEnd) / double(m_size) * 100 + 0.5);
                m_status(progressText(percent));
            }
            platform::processPendingEvents();
            if (m_stopRequested && m_nextBlockEnd < m_size && m_stopRequested())
                return false;
        }
        return true;
    }

private:
    qint64 m_nextBlockEnd;
    qint64 m_size;
    const StatusSink &m_status;
    const StopRequest &m_stopRequested;
};

ContentSearchResult stopped()
{
    return {ContentSearchOutcome::Stopped, 0, {}, {}};
}

// Why a candidate that its lookup or listing called ordinary could not be opened: it may have
// been replaced by something that is never searched.
ContentSearchResult openFailure(const Candidate &candidate, const platform::RawFile &file)
{
    if (file.wasNotRegular())
        return {};
    if (candidate.listed) {
        const platform::FileKind kind = platform::lookupFile(candidate.path).kind;
        if (kind == platform::FileKind::Folder || kind == platform::FileKind::System)
            return {};
    }
    return unreadable(file.errorText());
}

} // namespace

// Built once: a search reports every block.
const QString &progressText(int percent)
{
    static const std::array<QString, 101> texts = [] {
        std::array<QString, 101> built;
        for (int i = 0; i < int(built.size()); ++i)
            built[i] = contentSearchStatus.toString() + QString::number(i) + u'%';
        return built;
    }();
    return texts[size_t(percent)];
}

ContentSearchResult SearchFileForText(const QByteArray &path, const QString &text,
                                      qint64 startPosition, const StatusSink &status,
                                      const StopRequest &stopRequested)
{
    return ContentSearch({textForms(text)})
        .search(openCandidate({path, {}}, startPosition), status, stopRequested);
}

OpenedCandidate::Buffer firstChunkBuffer()
{
    OpenedCandidate::Buffer buffer(
        static_cast<char *>(std::aligned_alloc(readAlignment, firstChunkInFlight)));
    if (!buffer)
        throw std::bad_alloc();
    return buffer;
}

OpenedCandidate openCandidate(const Candidate &candidate, qint64 startPosition,
                              OpenedCandidate::Buffer buffer)
{
    OpenedCandidate opened;
    const platform::FileLookup lookup = candidate.lookup();
    if (lookup.kind == platform::FileKind::Inaccessible) {
        opened.ended = unreadable(platform::systemErrorText(lookup.error));
        return opened;
    }
    if (lookup.kind != platform::FileKind::Ordinary) {
        opened.ended = ContentSearchResult{};
        return opened;
    }
    opened.file = std::make_unique<platform::RawFile>();
    platform::RawFile &file = *opened.file;
    if (!candidate.open(file)) {
        opened.ended = openFailure(candidate, file);
        return opened;
    }
    opened.start = std::max<qint64>(startPosition - 1, 0);
    if (file.size() == 0)
        return opened;
    if (opened.start >= file.size()) {
        opened.ended = ContentSearchResult{};
        return opened;
    }
    opened.stretch = file.stretchAt(opened.start);
    if (opened.stretch.hole)
        return opened;
    // without a buffer the search reads the first chunk itself, into its own
    if (!buffer)
        return opened;
    const qint64 wanted = std::min(firstChunkInFlight, opened.stretch.end - opened.start);
    opened.first = std::move(buffer);
    platform::Residence residence = platform::Residence::InMemory;
    const qint64 got = file.readAt(opened.start, opened.first.get(), wanted, &residence);
    opened.residence = residence;
    if (got < 0)
        opened.ended = unreadable(file.errorText());
    else if (got < wanted)
        opened.ended = unreadable(QStringLiteral("the file became shorter while it was read"));
    opened.firstLength = got;
    // the disk (or the share) fetches the rest while the search is busy with other files
    if (residence != platform::Residence::InMemory) {
        opened.readAheadEnd = opened.start + got + readAheadBytes;
        opened.readAheadWindow = readAheadBytes;
        file.readAhead(opened.start + got, readAheadBytes);
    }
    return opened;
}

OpenedCandidate openAndReadAhead(const Candidate &candidate)
{
    OpenedCandidate opened = openCandidate(candidate);
    if (opened.ended || opened.stretch.hole || opened.file->size() == 0)
        return opened;
    platform::RawFile &file = *opened.file;
    file.readAhead(opened.start, readAheadOnDisk);
    // Bytes not in memory are still on their way now: the disk takes longer than one call.
    const platform::Residence residence = file.residenceAt(opened.start);
    opened.residence = residence;
    if (residence != platform::Residence::InMemory) {
        opened.readAheadEnd = opened.start + readAheadOnDisk;
        opened.readAheadWindow = readAheadOnDisk;
    }
    return opened;
}

platform::FileLookup Candidate::lookup() const
{
    return listed ? platform::lookupFile(path, listed->kind) : platform::lookupFile(path);
}

bool Candidate::open(platform::RawFile &file) const
{
    return file.open(path, listed ? listed->folder.get() : nullptr);
}

// What the search of one file has found so far.
struct ContentSearch::Findings
{
    // per needle: its text was found, so it is looked for no more
    std::vector<bool> passedOver;
    QList<qsizetype> texts;
    qint64 first = -1; // the file offset of the first occurrence
};

ContentSearch::ContentSearch(const QList<QList<QByteArray>> &texts, Goal goal)
    : m_goal(goal)
{
    for (qsizetype text = 0; text < texts.size(); ++text) {
        const qsizetype needlesBefore = m_needles.size();
        for (const QByteArray &form : texts.at(text)) {
            // no bytes would be found everywhere
            if (form.isEmpty())
                continue;
            m_needles.append(form);
            m_textOfNeedle.append(text);
            m_longest = std::max<qint64>(m_longest, form.size());
        }
        if (m_needles.size() > needlesBefore)
            ++m_textCount;
    }
    // An occurrence that straddles two chunks begins within the last L - 1 bytes of the first.
    m_carryRoom = alignUp(std::max<qint64>(m_longest - 1, 0));
    m_buffer.reset(static_cast<char *>(std::aligned_alloc(readAlignment, m_carryRoom + chunkSize)));
    if (!m_buffer)
        throw std::bad_alloc();
}

void ContentSearch::prepareSearch()
{
    if (m_byteSearch || m_multiSearch)
        return;
    if (m_needles.size() == 1)
        m_byteSearch.emplace(m_needles.first());
    else if (m_needles.size() > 1)
        m_multiSearch.emplace(m_needles);
}

ContentSearchResult ContentSearch::search(OpenedCandidate opened, const StatusSink &status,
                                          const StopRequest &stopRequested,
                                          platform::Residence *residence)
{
    if (m_needles.isEmpty())
        return {};
    prepareSearch();
    if (opened.ended)
        return *opened.ended;
    if (residence && opened.residence)
        *residence = *opened.residence;
    platform::RawFile &file = *opened.file;
    const qint64 size = file.size();
    const qint64 start = opened.start;
    if (size == 0)
        return searchToEnd(file, start, stopRequested);

    const qint64 length = m_longest;
    const qint64 carryCapacity = length - 1;
    Findings findings = noFindings();
    char *const target = m_buffer.get() + m_carryRoom;
    BlockProgress progress(start, size, status, stopRequested);
    qint64 carried = 0;
    platform::RawFile::Stretch stretch = opened.stretch;
    qint64 stretchStart = start;
    qint64 readAheadEnd = opened.readAheadEnd;
    const qint64 window = opened.readAheadWindow;
    // whether the first read tells the caller where the bytes were
    platform::Residence *const firstResidence = opened.residence ? nullptr : residence;
    for (qint64 offset = start; offset < size;) {
        if (window > 0 && readAheadEnd < offset + window && readAheadEnd < size) {
            file.readAhead(readAheadEnd, window / 2);
            readAheadEnd += window / 2;
        }
        if (offset >= stretch.end) {
            stretch = file.stretchAt(offset);
            stretchStart = offset;
        }
        const char *window = target - carried;
        qint64 got;
        if (offset == start && opened.first) {
            // nothing is carried over yet: the first chunk is searched where it was read
            window = opened.first.get();
            got = opened.firstLength;
        } else if (!stretch.hole) {
            const qint64 wanted = std::min(chunkSize, stretch.end - offset);
            got = file.readAt(offset, target, wanted, offset == start ? firstResidence : nullptr);
            if (got < 0)
                return unreadable(file.errorText());
            if (got < wanted)
                return unreadable(QStringLiteral("the file became shorter while it was read"));
        } else if (offset - stretchStart < length) {
            // A hole reads as zero bytes: its first L of them may complete a text that ends in
            // zeros, or be the text; they are searched like read ones.
            got = std::min({chunkSize, stretch.end - offset, stretchStart + length - offset});
            std::memset(target, 0, size_t(got));
        } else {
            // The rest of the hole holds only the zeros just searched, and the carry-over is
            // zeros already: nothing new can be found before the hole ends.
            if (!progress.reportUpTo(stretch.end))
                return stopped();
            offset = stretch.end;
            continue;
        }

        const qint64 windowSize = carried + got;
        const qint64 end = scan(window, windowSize, offset - carried, findings);
        if (end >= 0) {
            // the hit is found, whatever is asked while its blocks are reported
            progress.reportUpTo(end);
            return found(findings);
        }
        if (!progress.reportUpTo(offset + got))
            return stopped();

        carried = std::min(carryCapacity, windowSize);
        std::memmove(target - carried, window + windowSize - carried, size_t(carried));
        offset += got;
    }
    return findings.first >= 0 ? found(findings) : ContentSearchResult{};
}

ContentSearchResult ContentSearch::searchToEnd(platform::RawFile &file, qint64 start,
                                               const StopRequest &stopRequested)
{
    Findings findings = noFindings();
    char *const target = m_buffer.get() + m_carryRoom;
    qint64 carried = 0;
    for (qint64 offset = start;;) {
        if (offset - start >= unknownLengthLimit) {
            return unreadable(QStringLiteral("its size is reported as 0, yet it holds more than "
                                             "%1 MB")
                                  .arg(unknownLengthLimit / (1024 * 1024)));
        }
        const qint64 got = file.readAt(offset, target, chunkSize);
        if (got < 0)
            return unreadable(file.errorText());
        if (got == 0)
            break;
        const char *window = target - carried;
        const qint64 windowSize = carried + got;
        if (scan(window, windowSize, offset - carried, findings) >= 0)
            return found(findings);
        if (stopRequested && stopRequested())
            return stopped();
        carried = std::min(m_longest - 1, windowSize);
        std::memmove(target - carried, window + windowSize - carried, size_t(carried));
        offset += got;
    }
    return findings.first >= 0 ? found(findings) : ContentSearchResult{};
}

ContentSearchResult ContentSearch::searchWhole(const char *bytes, qint64 size,
                                               const StatusSink &status,
                                               const StopRequest &stopRequested)
{
    if (m_needles.isEmpty())
        return {};
    prepareSearch();
    Findings findings = noFindings();
    BlockProgress progress(0, size, status, stopRequested);
    const qint64 end = scan(bytes, size, 0, findings);
    if (end >= 0) {
        progress.reportUpTo(end);
        return found(findings);
    }
    if (!progress.reportUpTo(size))
        return stopped();
    return findings.first >= 0 ? found(findings) : ContentSearchResult{};
}

ContentSearch::Findings ContentSearch::noFindings() const
{
    Findings findings;
    if (m_multiSearch && m_goal == Goal::EveryText)
        findings.passedOver.resize(size_t(m_needles.size()));
    return findings;
}

qint64 ContentSearch::scan(const char *window, qint64 size, qint64 start, Findings &findings) const
{
    if (m_byteSearch) {
        const qsizetype hit = m_byteSearch->indexIn(window, size);
        if (hit < 0)
            return -1;
        findings.first = start + hit;
        findings.texts.append(m_textOfNeedle.first());
        return findings.first + m_longest;
    }
    for (qsizetype from = 0;;) {
        const MultiByteSearch::Hit hit =
            m_multiSearch->find(window, size, from, findings.passedOver);
        if (hit.position < 0)
            return -1;
        if (findings.first < 0)
            findings.first = start + hit.position;
        const qint64 end = start + hit.position + m_needles.at(hit.needle).size();
        const qsizetype text = m_textOfNeedle.at(hit.needle);
        findings.texts.append(text);
        if (m_goal == Goal::FirstOccurrence || findings.texts.size() == m_textCount)
            return end;
        for (qsizetype needle = 0; needle < m_needles.size(); ++needle) {
            if (m_textOfNeedle.at(needle) == text)
                findings.passedOver[size_t(needle)] = true;
        }
        // another needle may begin at the same position
        from = hit.position;
    }
}

ContentSearchResult ContentSearch::found(const Findings &findings) const
{
    ContentSearchResult result{ContentSearchOutcome::Found, findings.first + 1, {}, {}};
    if (m_goal == Goal::EveryText) {
        result.texts = findings.texts;
        std::sort(result.texts.begin(), result.texts.end());
    }
    return result;
}
