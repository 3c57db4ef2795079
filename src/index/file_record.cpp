#include "index/file_record.h"

#include "platform/raw_file.h"

#include <memory>

namespace {

constexpr qint64 chunkSize = 64 * 1024;

} // namespace

bool isNameByte(char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= '0' && byte <= '9') || byte == '_' || byte == '-' || byte == '.';
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
    qsizetype start = 0;
    for (qsizetype i = 0; i < chunk.size(); ++i) {
        if (isNameByte(chunk[i]))
            continue;
        if (i > start || !m_current.isEmpty()) {
            m_current.append(chunk.sliced(start, i - start));
            keepRun();
        }
        start = i + 1;
    }
    m_current.append(chunk.sliced(start));
}

void RunCollector::endRun()
{
    keepRun();
}

void RunCollector::keepRun()
{
    if (m_current.size() >= shortestRun && !m_overLimit && !m_kept.contains(m_current)) {
        m_kept.insert(m_current);
        m_runs.append(m_current);
        m_runs.append('\n');
        if (m_runs.size() > m_limit) {
            m_overLimit = true;
            m_runs.clear();
            m_kept.clear();
        }
    }
    m_current.clear();
}

QByteArray RunCollector::runs()
{
    endRun();
    return m_overLimit ? QByteArray() : m_runs;
}

FileRecord recordFile(const QByteArray &path, qsizetype runLimit)
{
    FileRecord record;
    platform::RawFile file;
    if (!file.open(path))
        return record;
    RunCollector collector(runLimit);
    const std::unique_ptr<char[]> buffer(new char[chunkSize]);
    qint64 offset = 0;
    while (offset < file.size() && !collector.isOverLimit()) {
        // holes read as zero bytes, which are no name bytes
        const platform::RawFile::Stretch stretch = file.stretchAt(offset);
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
