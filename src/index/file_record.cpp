#include "index/file_record.h"

#include "platform/raw_file.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

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
    // Binary noise makes the kind of each byte unforeseeable: the length of the run so far is
    // counted without a branch on it, and only a run long enough to keep branches off.
    qsizetype run = m_current.size();
    for (qsizetype i = 0; i < size; ++i) {
        const qsizetype nameByte = nameBytes[quint8(bytes[i])];
        const qsizetype runEnds = qsizetype(run >= shortestRun) & (nameByte ^ 1);
        if (runEnds) [[unlikely]] {
            if (run <= i) {
                keepRun(QByteArrayView(bytes + i - run, run));
            } else {
                // begun in a chunk before
                m_current.append(bytes, i);
                keepRun(m_current);
            }
        }
        run = (run + 1) * nameByte;
    }
    // the run the chunk ends in may go on in the next one
    if (run > size)
        m_current.append(bytes, size);
    else
        m_current = QByteArray(bytes + size - run, run);
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
    std::vector<QByteArrayView> lines;
    for (qsizetype start = 0; start < runs.size();) {
        const qsizetype end = runs.indexOf('\n', start);
        lines.emplace_back(runs.constData() + start, end - start);
        start = end + 1;
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    QByteArray kept;
    kept.reserve(runs.size());
    for (const QByteArrayView line : lines)
        kept.append(line).append('\n');
    return kept;
}

QByteArray RunCollector::runs()
{
    endRun();
    return m_overLimit ? QByteArray() : distinct(m_runs);
}

FileRecord recordFile(const QByteArray &path, qsizetype runLimit,
                      const platform::OpenFolder *folder)
{
    FileRecord record;
    platform::RawFile file;
    if (!file.open(path, folder))
        return record;
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
