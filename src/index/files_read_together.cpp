#include "index/files_read_together.h"

#include <new>
#include <vector>

namespace {

constexpr int filesTogether = 32;

} // namespace

FilesReadTogether::FilesReadTogether()
    : m_reads(filesTogether)
    , m_room(static_cast<char *>(
          std::aligned_alloc(64, size_t(platform::WholeFileReads::room) * filesTogether)))
{
    if (!m_room)
        throw std::bad_alloc();
}

QList<FilesReadTogether::File> FilesReadTogether::read(const platform::OpenFolder &folder,
                                                       const QByteArrayList &names)
{
    QList<File> files;
    std::vector<platform::WholeFileReads::File> reads;
    std::vector<qsizetype> readFiles;
    const qint64 start = fileClockNs();
    for (const QByteArray &name : names) {
        File &file = files.emplace_back(
            File{name, signatureOf(folder, name.constData()), start, std::nullopt});
        // an empty file, and one too large to be read whole, go the usual way
        if (!file.signature || file.signature->size <= 0 ||
            file.signature->size >= platform::WholeFileReads::room)
            continue;
        reads.push_back({folder.descriptor(), name.constData(),
                         m_room.get() + platform::WholeFileReads::room * qsizetype(reads.size())});
        readFiles.push_back(files.size() - 1);
    }
    m_reads.read(reads);
    for (size_t i = 0; i < reads.size(); ++i) {
        if (reads[i].outcome == platform::WholeFileReads::File::Whole)
            files[readFiles[i]].bytes = QByteArrayView(reads[i].target, reads[i].length);
    }
    return files;
}
