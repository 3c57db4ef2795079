#include "index/folder_record.h"

#include "index/index_format.h"
#include "index/index_store.h"
#include "index/record_checksum.h"

#include <algorithm>

// Numbers go in as variable-length integers, the times and inodes as differences from the file
// before, which in one folder are mostly small. After the layout byte comes a checksum of the rest,
// seeded with the folder's path: bytes changed, a record cut short, or one of another folder
// put in its place fail it, where the store's own checks see nothing wrong.
namespace {

constexpr qsizetype checksumSize = 8;
constexpr qsizetype headerSize = 1 + checksumSize;

void putNumber(QByteArray &out, quint64 value)
{
    while (value >= 0x80) {
        out.append(char((value & 0x7f) | 0x80));
        value >>= 7;
    }
    out.append(char(value));
}

void putSigned(QByteArray &out, qint64 value)
{
    putNumber(out, (quint64(value) << 1) ^ quint64(value >> 63));
}

void putBytes(QByteArray &out, const QByteArray &bytes)
{
    putNumber(out, quint64(bytes.size()));
    out.append(bytes);
}

class Reader
{
public:
    explicit Reader(QByteArrayView bytes)
        : m_bytes(bytes)
    {}

    bool atEnd() const { return m_position == m_bytes.size(); }
    quint64 number()
    {
        quint64 value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            const auto byte = quint8(next());
            value |= quint64(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return value;
        }
        damaged();
    }
    qint64 signedNumber()
    {
        const quint64 value = number();
        return qint64(value >> 1) ^ -qint64(value & 1);
    }
    QByteArrayView bytes()
    {
        const quint64 size = number();
        if (size > quint64(m_bytes.size() - m_position))
            damaged();
        const QByteArrayView view = m_bytes.sliced(m_position, qsizetype(size));
        m_position += qsizetype(size);
        return view;
    }
    char next()
    {
        if (atEnd())
            damaged();
        return m_bytes[m_position++];
    }

    [[noreturn]] static void damaged()
    {
        throw IndexError(IndexError::Problem::Damaged, QStringLiteral("a folder's record"));
    }

private:
    QByteArrayView m_bytes;
    qsizetype m_position = 0;
};

} // namespace

QByteArray FolderRecord::encode(QByteArrayView folder, const QList<RecordedFile> &files)
{
    QByteArray out(headerSize, '\0');
    out[0] = IndexFormat::recordLayout;
    putNumber(out, quint64(files.size()));
    FileSignature before;
    for (const RecordedFile &file : files) {
        putBytes(out, file.name);
        putNumber(out, quint64(file.signature.size));
        putSigned(out, file.signature.modifiedNs - before.modifiedNs);
        putSigned(out, file.signature.changedNs - file.signature.modifiedNs);
        putSigned(out, qint64(file.signature.inode - before.inode));
        out.append(char(file.state));
        if (file.state == FileState::Recorded)
            putBytes(out, file.runs);
        before = file.signature;
    }
    const std::uint64_t checksum = recordChecksum(folder, QByteArrayView(out).sliced(headerSize));
    for (qsizetype i = 0; i < checksumSize; ++i)
        out[1 + i] = char(checksum >> (8 * i));
    return out;
}

FolderRecord::FolderRecord(const QByteArray &bytes, QByteArrayView folder)
    : m_bytes(bytes)
{
    // read through a view: the bytes stay shared with the caller's, not copied
    const QByteArrayView record(m_bytes);
    if (record.size() < headerSize || record[0] != IndexFormat::recordLayout)
        Reader::damaged();
    std::uint64_t checksum = 0;
    for (qsizetype i = 0; i < checksumSize; ++i)
        checksum |= std::uint64_t(quint8(record[1 + i])) << (8 * i);
    if (checksum != recordChecksum(folder, record.sliced(headerSize)))
        Reader::damaged();
    Reader reader(record.sliced(headerSize));
    const quint64 count = reader.number();
    if (count > quint64(m_bytes.size()))
        Reader::damaged();
    m_files.resize(count);
    FileSignature before;
    for (File &file : m_files) {
        file.name = reader.bytes();
        file.signature.size = qint64(reader.number());
        file.signature.modifiedNs = before.modifiedNs + reader.signedNumber();
        file.signature.changedNs = file.signature.modifiedNs + reader.signedNumber();
        file.signature.inode = before.inode + quint64(reader.signedNumber());
        const char state = reader.next();
        if (state < char(FileState::Recorded) || state > char(FileState::Unsettled))
            Reader::damaged();
        file.state = FileState(state);
        if (file.state == FileState::Recorded)
            file.runs = reader.bytes();
        before = file.signature;
    }
    if (!reader.atEnd())
        Reader::damaged();
}

const FolderRecord::File *FolderRecord::find(QByteArrayView name) const
{
    return findByName(m_files, name);
}

RecordedFile FolderRecord::File::toRecordedFile() const
{
    return {name.toByteArray(), signature, state, runs.toByteArray()};
}
