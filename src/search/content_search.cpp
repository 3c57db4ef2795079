#include "search/content_search.h"

#include "platform/event_pump.h"
#include "platform/file_lookup.h"
#include "platform/raw_file.h"
#include "platform/system_error.h"
#include "search/byte_search.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

// The status line counts progress in blocks of this size.
constexpr qint64 blockSize = 4096;
// One system call per block would cost about as much as copying the block; read 16 at a time.
constexpr qint64 chunkSize = 16 * blockSize;
// The kernel copies several times faster into a target on a cache-line boundary.
constexpr qint64 readAlignment = 64;

qint64 alignUp(qint64 value)
{
    return (value + readAlignment - 1) / readAlignment * readAlignment;
}

// Room for the bytes carried over from one chunk to the next, directly in front of an aligned
// read target, so that the two form one contiguous window to search.
class SearchBuffer
{
public:
    explicit SearchBuffer(qint64 carryCapacity)
        : m_carryRoom(alignUp(carryCapacity))
        , m_memory(static_cast<char *>(std::aligned_alloc(readAlignment, m_carryRoom + chunkSize)))
    {
        if (!m_memory)
            throw std::bad_alloc();
    }

    char *readTarget() const { return m_memory.get() + m_carryRoom; }

private:
    struct Free
    {
        void operator()(char *memory) const { std::free(memory); }
    };
    qint64 m_carryRoom;
    std::unique_ptr<char, Free> m_memory;
};

ContentSearchResult unreadable(const QString &why)
{
    return {ContentSearchOutcome::Unreadable, 0, why};
}

// The status texts for 0 to 100 percent, built once: a search reports every block.
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

class BlockProgress
{
public:
    BlockProgress(qint64 start, qint64 size, const StatusSink &status)
        : m_nextBlockEnd(start)
        , m_size(size)
        , m_status(status)
    {}

    // Reports each block not reported yet, up to the one that holds the byte before end.
    void reportUpTo(qint64 end)
    {
        while (m_nextBlockEnd < end) {
            m_nextBlockEnd = std::min(m_nextBlockEnd + blockSize, m_size);
            if (m_status) {
                const int percent = int(double(m_nextBlockEnd) / double(m_size) * 100 + 0.5);
                m_status(progressText(percent));
            }
            platform::processPendingEvents();
        }
    }

private:
    qint64 m_nextBlockEnd;
    qint64 m_size;
    const StatusSink &m_status;
};

} // namespace

ContentSearchResult SearchFileForText(const QByteArray &path, const QString &text,
                                      qint64 startPosition, const StatusSink &status)
{
    const QByteArray needle = text.toLocal8Bit();
    if (needle.isEmpty())
        return {};
    const platform::FileLookup lookup = platform::lookupFile(path);
    if (lookup.kind == platform::FileKind::Inaccessible)
        return unreadable(platform::systemErrorText(lookup.error));
    if (lookup.kind != platform::FileKind::Ordinary)
        return {};

    platform::RawFile file;
    if (!file.open(path))
        return unreadable(file.errorText());
    const qint64 size = file.size();
    const qint64 start = std::max<qint64>(startPosition - 1, 0);
    if (start >= size)
        return {};

    // An occurrence that straddles two chunks begins within the last L - 1 bytes of the first.
    const qint64 carryCapacity = needle.size() - 1;
    SearchBuffer buffer(carryCapacity);
    const ByteSearch byteSearch(needle);
    char *const target = buffer.readTarget();
    BlockProgress progress(start, size, status);
    qint64 carried = 0;
    for (qint64 offset = start; offset < size;) {
        const qint64 wanted = std::min(chunkSize, size - offset);
        const qint64 got = file.readAt(offset, target, wanted);
        if (got < 0)
            return unreadable(file.errorText());
        if (got < wanted)
            return unreadable(QStringLiteral("the file became shorter while it was read"));

        const char *window = target - carried;
        const qint64 windowSize = carried + got;
        const qsizetype hit = byteSearch.indexIn(window, windowSize);
        if (hit >= 0) {
            const qint64 found = offset - carried + hit;
            progress.reportUpTo(found + needle.size());
            return {ContentSearchOutcome::Found, found + 1, {}};
        }
        progress.reportUpTo(offset + got);

        carried = std::min(carryCapacity, windowSize);
        std::memmove(target - carried, window + windowSize - carried, size_t(carried));
        offset += got;
    }
    return {};
}
