#include "index/folder_recording.h"

#include "index/file_record.h"
#include "index/index_location.h"
#include "platform/file_lookup.h"
#include "platform/long_path.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>

FolderRecording::FolderRecording(IndexStore &store, const QByteArray &folder,
                                 const Options &options, platform::Lookahead *lookahead,
                                 FilesReadTogether *together)
    : m_store(store)
    , m_options(options)
    , m_folder(folderPrefix(folder))
    , m_key(folderKey(folder))
    , m_lookahead(lookahead)
    , m_together(together)
{
    try {
        m_recorded = m_store.filesIn(m_key);
    } catch (const IndexError &error) {
        if (error.problem != IndexError::Problem::Damaged)
            throw;
        // made anew from the files
        m_changed = true;
    }
    const int descriptor = platform::openPath(m_key, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0)
        m_open = std::make_unique<platform::OpenFolder>(descriptor);
}

std::optional<FileSignature> FolderRecording::signatureOf(const QByteArray &name) const
{
    return m_open ? ::signatureOf(*m_open, name.constData())
                  : ::signatureOf(platform::inFolder(m_folder, name));
}

FolderRecording::Reading FolderRecording::read(const QByteArray &name) const
{
    const qint64 start = fileClockNs();
    return {start,
            recordFile(platform::inFolder(m_folder, name), m_options.runLimit, m_open.get())};
}

void FolderRecording::comingUp(const QByteArray &name)
{
    m_told.push_back(name);
    if (!m_lookahead || !m_lookahead->inFlight())
        return;
    Ahead &ahead = m_ahead.emplace_back(Ahead{name, {}, {}});
    // the folder stays open while this recording lives, and the requests end before it goes
    if (m_recorded.find(name)) {
        ahead.signature.emplace([this, name] { return signatureOf(name); });
        ahead.signature->post();
    } else {
        ahead.reading.emplace([this, name] { return read(name); });
        ahead.reading->post();
    }
}

template<typename Result>
Result FolderRecording::timed(std::optional<platform::InFlight<Result>> &ahead,
                              const std::function<Result()> &here)
{
    std::chrono::steady_clock::duration took;
    std::optional<Result> result;
    if (ahead) {
        result.emplace(ahead->take(&took));
        ahead.reset();
    } else {
        const auto start = std::chrono::steady_clock::now();
        result.emplace(here());
        took = std::chrono::steady_clock::now() - start;
    }
    if (m_lookahead)
        m_lookahead->noteAnswer(platform::Lookahead::waitedFor(took));
    return std::move(*result);
}

std::optional<FilesReadTogether::File> FolderRecording::readTogether(const QByteArray &name)
{
    const auto taken =
        std::find_if(m_readTogether.begin(), m_readTogether.end(),
                     [&](const FilesReadTogether::File &file) { return file.name == name; });
    if (taken != m_readTogether.end())
        return *taken;
    if (!m_together || !m_together->isAvailable() || !m_open ||
        (m_lookahead && m_lookahead->inFlight()))
        return std::nullopt;
    QByteArrayList names{name};
    for (const QByteArray &told : m_told) {
        if (names.size() == m_together->most())
            break;
        if (told != name && !m_recorded.find(told))
            names.append(told);
    }
    m_readTogether = m_together->read(*m_open, names);
    return m_readTogether.constFirst();
}

FolderRecording::Added FolderRecording::add(const QByteArray &name)
{
    if (!m_told.empty() && m_told.front() == name)
        m_told.pop_front();
    std::optional<Ahead> ahead;
    if (!m_ahead.empty() && m_ahead.front().name == name) {
        ahead.emplace(std::move(m_ahead.front()));
        m_ahead.pop_front();
    }
    Added added;
    const FolderRecord::File *recorded = m_recorded.find(name);
    if (recorded) {
        std::optional<platform::InFlight<std::optional<FileSignature>>> noSignature;
        added.signature = timed<std::optional<FileSignature>>(
            ahead ? ahead->signature : noSignature, [&] { return signatureOf(name); });
        // folders, FIFOs, links that lead nowhere: a search never reads them
        if (!added.signature)
            return added;
        if (recorded->signature == *added.signature && recorded->state != FileState::Unsettled) {
            m_files.append(recorded->toRecordedFile());
            added.state = recorded->state;
            return added;
        }
    }
    if (!recorded) {
        if (const std::optional<FilesReadTogether::File> together = readTogether(name);
            together && together->bytes) {
            added.signature = together->signature;
            return recordRead(
                name, added,
                {together->startNs, recordBytes(*together->bytes, m_options.runLimit)});
        }
    }
    std::optional<platform::InFlight<Reading>> noReading;
    Reading reading =
        timed<Reading>(ahead ? ahead->reading : noReading, [&] { return read(name); });
    // the signature is of the file read, which a rename may have put in the looked-up one's place
    added.signature = reading.record.signature ? reading.record.signature : signatureOf(name);
    return recordRead(name, added, std::move(reading));
}

void FolderRecording::keepAllBut(const QSet<QByteArray> &named)
{
    for (const FolderRecord::File &recorded : m_recorded.files()) {
        if (!named.contains(recorded.name.toByteArray()))
            m_files.append(recorded.toRecordedFile());
    }
}

FolderRecording::Added FolderRecording::recordRead(const QByteArray &name, Added added,
                                                   Reading reading)
{
    FileRecord &record = reading.record;
    if (!added.signature)
        return added;
    if (isUnsettled(*added.signature, reading.startNs, m_options.unsettledMarginNs))
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
