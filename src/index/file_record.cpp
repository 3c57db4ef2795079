#include "index/file_record.h"

#include "platform/raw_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <memory>
#include <string_view>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr qint64 chunkSize = 64 * 1024;

constexpr std::array<bool, 256> nameBytes = [] {
    std::array<bool, 256> table{};
    for (int byte = 0; byte < 256; ++byte) {
        table[byte] = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                      (byte >= '0' && byte <= '9') || byte == '_' || byte == '-' || byte == '.';
    }
    return table;
}();

// Bit i tells whether bytes[i] is a name byte, for the first length (at most 64) bytes.
quint64 nameByteMask(const char *bytes, qsizetype length)
{
    quint64 mask = 0;
#if defined(__SSE2__)
    if (length == 64) {
        // letters by their lower case, digits: in range when shifted to the bottom of int8
        const auto below = [](__m128i value, char first, char count) {
            const __m128i shifted = _mm_add_epi8(value, _mm_set1_epi8(char(-128 - first)));
            return _mm_cmplt_epi8(shifted, _mm_set1_epi8(char(-128 + count)));
        };
        for (int part = 0; part < 4; ++part) {
            const __m128i value =
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + 16 * part));
            __m128i names = _mm_or_si128(below(_mm_or_si128(value, _mm_set1_epi8(0x20)), 'a', 26),
                                         below(value, '0', 10));
            for (const char other : {'_', '-', '.'})
                names = _mm_or_si128(names, _mm_cmpeq_epi8(value, _mm_set1_epi8(other)));
            mask |= quint64(quint16(_mm_movemask_epi8(names))) << (16 * part);
        }
        return mask;
    }
#endif
    for (qsizetype i = 0; i < length; ++i)
        mask |= quint64(nameBytes[quint8(bytes[i])]) << i;
    return mask;
}

} // namespace

bool isNameByte(char byte)
{
    return nameBytes[quint8(byte)];
}

QByteArrayList namePieces(QByteArrayView form)
{
    QByteArrayList pieces;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= form.size(); ++i) {
        if (i < form.size() && isNameByte(form[i]))
            continue;
        if (i - start >= shortestRun)
            pieces.append(form.sliced(start, i - start).toByteArray());
        start = i + 1;
    }
    return pieces;
}

bool isAnsweredExactly(QByteArrayView form)
{
    const QByteArrayList pieces = namePieces(form);
    return pieces.size() == 1 && pieces.first().size() == form.size();
}

RunCollector::RunCollector(qsizetype limit)
    : m_limit(limit)
{}

void RunCollector::add(QByteArrayView chunk)
{
    const char *bytes = chunk.data();
    const qsizetype size = chunk.size();
    // Binary noise makes the kind of each byte unforeseeable and its runs short: the bytes are
    // classed 64 at a time, and only the runs long enough to be kept are looked at.
    qsizetype run = m_current.size(); // name bytes just before the block
    for (qsizetype block = 0; block < size; block += 64) {
        const qsizetype length = std::min<qsizetype>(64, size - block);
        const quint64 names = nameByteMask(bytes + block, length);
        if (run > 0 && !(names & 1)) {
            if (run >= shortestRun)
                runEnds(bytes, block, run);
            run = 0;
        }
        // Where runs end, the last byte's run aside (it may go on in the next block); only
        // those with shortestRun name bytes up to their end are looked at, and near the
        // block's start the run before it may make up the length.
        static_assert(shortestRun == 4);
        const quint64 ends = names & ~(names >> 1) & ~(quint64(1) << (length - 1));
        quint64 longEnds = ends & ((names << 1) | 1) & ((names << 2) | 3) & ((names << 3) | 7);
        for (; longEnds; longEnds &= longEnds - 1) {
            const int last = std::countr_zero(longEnds);
            qsizetype runLength = std::countl_one(names << (63 - last));
            if (runLength == last + 1)
                runLength += run;
            if (runLength >= shortestRun)
                runEnds(bytes, block + last + 1, runLength);
        }
        const qsizetype atEnd = names >> (length - 1) ? std::countl_one(names << (64 - length)) : 0;
        run = atEnd == length ? run + length : atEnd;
    }
    // the run the chunk ends in may go on in the next one
    if (run > size)
        m_current.append(bytes, size);
    else
        m_current = QByteArray(bytes + size - run, run);
}

void RunCollector::runEnds(const char *chunk, qsizetype end, qsizetype length)
{
    if (length <= end) {
        keepRun(QByteArrayView(chunk + end - length, length));
    } else {
        // begun in a chunk before
        m_current.append(chunk, end);
        keepRun(m_current);
    }
}

void RunCollector::endRun()
{
    keepRun(m_current);
    m_current.clear();
}

void RunCollector::keepRun(QByteArrayView run)
{
    if (run.size() < shortestRun || m_overLimit)
        return;
    m_runs.append(run);
    m_runs.append('\n');
    if (m_runs.size() > m_limit) {
        // a file that repeats its runs may still fit once each is kept once
        m_runs = distinct(m_runs);
        m_overLimit = m_runs.size() > m_limit;
        if (m_overLimit)
            m_runs.clear();
    }
}

QByteArray RunCollector::distinct(const QByteArray &runs)
{
    // std::string_view compares inline, which counts with the many short runs of binary files
    std::vector<std::string_view> lines;
    lines.reserve(runs.size() / (shortestRun + 1));
    for (qsizetype start = 0; start < runs.size();) {
        const qsizetype end = runs.indexOf('\n', start);
        lines.emplace_back(runs.constData() + start, end - start);
        start = end + 1;
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    QByteArray kept(runs.size(), Qt::Uninitialized);
    char *out = kept.data();
    for (const std::string_view line : lines) {
        out = std::copy(line.begin(), line.end(), out);
        *out++ = '\n';
    }
    kept.truncate(out - kept.constData());
    return kept;
}

QByteArray RunCollector::runs()
{
    endRun();
    return m_overLimit ? QByteArray() : distinct(m_runs);
}

FileRecord recordBytes(QByteArrayView bytes, qsizetype runLimit)
{
    RunCollector collector(runLimit);
    collector.add(bytes);
    FileRecord record;
    record.runs = collector.runs();
    record.state = collector.isOverLimit() ? FileState::AlwaysRead : FileState::Recorded;
    record.bytesRead = bytes.size();
    return record;
}

FileRecord recordFile(const QByteArray &path, qsizetype runLimit,
                      const platform::OpenFolder *folder)
{
    FileRecord record;
    platform::RawFile file;
    if (!file.open(path, folder))
        return record;
    record.signature = signatureOf(file.statusAtOpen());
    // A file that reports no length (as those in /proc do) may hold bytes all the same, which
    // change without a sign in its signature: every search reads it.
    if (file.size() == 0) {
        char byte;
        if (file.readAt(0, &byte, 1) == 0)
            record.state = FileState::Recorded;
        return record;
    }
    RunCollector collector(runLimit);
    const std::unique_ptr<char[]> buffer(new char[chunkSize]);
    qint64 offset = 0;
    while (offset < file.size() && !collector.isOverLimit()) {
        // holes read as zero bytes, which are no name bytes
        const platform::RawFile::Stretch stretch =
            file.size() > chunkSize ? file.stretchAt(offset)
                                    : platform::RawFile::Stretch{false, file.size()};
        if (stretch.hole) {
            collector.endRun();
            offset = stretch.end;
            continue;
        }
        const qint64 read =
            file.readAt(offset, buffer.get(), std::min(chunkSize, stretch.end - offset));
        if (read <= 0)
            return record;
        collector.add(QByteArrayView(buffer.get(), read));
        offset += read;
        record.bytesRead += read;
    }
    record.runs = collector.runs();
    record.state = collector.isOverLimit() ? FileState::AlwaysRead : FileState::Recorded;
    return record;
}
