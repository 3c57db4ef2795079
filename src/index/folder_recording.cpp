#include "index/folder_recording.h"

#include "index/file_record.h"
#include "index/index_location.h"
#include "platform/file_lookup.h"

#include <algorithm>
#include <fcntl.h>

FolderRecording::FolderRecording(IndexStore &store, const QByteArray &folder,
                                 const Options &options)
    : m_store(store)
    , m_options(options)
    , m_folder(folder.endsWith('/') ? folder : folder + '/')
    , m_key(folderKey(folder))
{
    try {
        m_recorded = m_store.filesIn(m_key);
    } catch (const IndexError &error) {
        if (error.problem != IndexError::Problem::Damaged)
            throw;
        // made anew from the files
        m_changed = true;
    }
    const int descriptor = ::open(m_key.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0)
        m_open = std::make_unique<platform::OpenFolder>(descriptor);
}

std::optional<FileSignature> FolderRecording::signatureOf(const QByteArray &name) const
{
    return m_open ? ::signatureOf(*m_open, name.constData())
                  : ::signatureOf(platform::inFolder(m_folder, name));
}

FolderRecording::Added FolderRecording::add(const QByteArray &name)
{
    Added added;
    const FolderRecord::File *recorded = m_recorded.find(name);
    if (recorded) {
        added.signature = signatureOf(name);
        // folders, FIFOs, links that lead nowhere: a search never reads them
        if (!added.signature)
            return added;
        if (recorded->signature == *added.signature && recorded->state != FileState::Unsettled) {
            m_files.append(recorded->toRecordedFile());
            added.state = recorded->state;
            return added;
        }
    }
    const qint64 start = fileClockNs();
    FileRecord record =
        recordFile(platform::inFolder(m_folder, name), m_options.runLimit, m_open.get());
    // the signature is of the file read, which a rename may have put in the looked-up one's place
    added.signature = record.signature ? record.signature : signatureOf(name);
    if (!added.signature)
        return added;
    if (isUnsettled(*added.signature, start, m_options.unsettledMarginNs))
        record.state = FileState::Unsettled;
    added.read = true;
    added.bytesRead = record.bytesRead;
    added.runBytes = record.runs.size();
    added.state = record.state;
    m_files.append({name, *added.signature, record.state, record.runs});
    m_changed = true;
    return added;
}

qint64 FolderRecording::finish()
{
    const auto byName = [](const RecordedFile &a, const RecordedFile &b) {
        return a.name < b.name;
    };
    std::sort(m_files.begin(), m_files.end(), byName);
    QList<RecordedFile> kept;
    qint64 removed = 0;
    for (const FolderRecord::File &recorded : m_recorded.files()) {
        if (findByName(m_files, recorded.name))
            continue;
        if (signatureOf(recorded.name.toByteArray()))
            kept.append(recorded.toRecordedFile());
        else
            ++removed;
        m_changed = true;
    }
    if (!kept.isEmpty()) {
        m_files.append(kept);
        std::sort(m_files.begin(), m_files.end(), byName);
    }
    if (m_changed)
        m_store.putFilesIn(m_key, m_files);
    return removed;
}
