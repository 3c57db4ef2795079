#include "index/index_update.h"

#include "index/index_location.h"
#include "platform/file_lookup.h"
#include "platform/folder_listing.h"
#include "search/cfindfile.h"
#include "search/search_run.h"

#include <QDateTime>
#include <QSet>
#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <optional>

namespace {

// Records each file the walk reaches, folder by folder: the walk reports the files of one folder
// one after another. A store error ends the walk and is thrown after it.
class UpdateSink : public SearchSink
{
public:
    UpdateSink(IndexStore &store, const IndexUpdate::Options &options, SearchRun &run)
        : m_store(store)
        , m_options(options)
        , m_run(run)
    {}

    void candidateFound(const QByteArray &name, const QByteArray &folder) override
    {
        if (m_failure)
            return;
        try {
            if (folder != m_folder) {
                finishFolder();
                startFolder(folder);
            }
            if (!name.startsWith('.'))
                record(name);
        } catch (const IndexError &error) {
            m_failure = error;
            m_run.requestStop(RunStop::Everything);
        }
    }
    void folderNotListed(const QByteArray &folder, const QString &reason) override
    {
        result.unlisted.append({folder, reason});
    }
    void walkFailed(const QByteArray &folder, const FindFileError &) override
    {
        result.unlisted.append({folder, QStringLiteral("walk failed")});
    }
    void idle() override
    {
        if (m_options.stopRequested && m_options.stopRequested())
            m_run.requestStop(RunStop::Everything);
    }

    // Writes the folder the walk was in and the batch under way.
    void finish()
    {
        rethrow();
        finishFolder();
        if (m_inBatch)
            m_store.commitBatch();
        m_inBatch = false;
    }
    void rethrow() const
    {
        if (m_failure)
            throw *m_failure;
    }

    UpdateResult result;
    // the folders the walk reached that hold files
    QSet<QByteArray> seen;
    IndexStore::Totals totals;

private:
    void startFolder(const QByteArray &folder)
    {
        m_folder = folder;
        m_key = folderKey(folder);
        m_files.clear();
        m_changed = false;
        try {
            m_recorded = m_store.filesIn(m_key);
        } catch (const IndexError &error) {
            if (error.problem != IndexError::Problem::Damaged)
                throw;
            // made anew from the files
            m_recorded = {};
            m_changed = true;
        }
        // its files are looked up by name, not along their paths
        const int descriptor = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        m_open.reset(descriptor >= 0 ? new platform::OpenFolder(descriptor) : nullptr);
    }

    void record(const QByteArray &name)
    {
        const QByteArray path = platform::inFolder(m_folder, name);
        const std::optional<FileSignature> signature = signatureOf(name, path);
        // folders, FIFOs, links that lead nowhere: a search never reads them
        if (!signature)
            return;
        ++result.progress.files;
        result.progress.bytesSeen += signature->size;
        const FolderRecord::File *recorded = m_recorded.find(name);
        if (recorded && recorded->signature == *signature &&
            recorded->state != FileState::Unsettled) {
            m_files.append(recorded->toRecordedFile());
            report();
            return;
        }
        const qint64 start = fileClockNs();
        FileRecord record = recordFile(path, m_options.runLimit, m_open.get());
        if (signatureOf(name, path) != signature ||
            isUnsettled(*signature, start, m_options.unsettledMarginNs))
            record.state = FileState::Unsettled;
        m_files.append({name, *signature, record.state, record.runs});
        m_changed = true;
        ++result.progress.filesRead;
        result.progress.bytesRead += record.bytesRead;
        ++m_batchFiles;
        m_batchBytes += record.bytesRead + record.runs.size();
        report();
    }

    // A recorded file the walk did not reach is gone, unless the walk ended before it (a stop,
    // a listing cut short): then its record is kept, for searches to check.
    void finishFolder()
    {
        if (m_folder.isNull())
            return;
        const auto byName = [](const RecordedFile &a, const RecordedFile &b) {
            return a.name < b.name;
        };
        std::sort(m_files.begin(), m_files.end(), byName);
        QList<RecordedFile> kept;
        for (const FolderRecord::File &recorded : m_recorded.files()) {
            if (findByName(m_files, recorded.name))
                continue;
            const QByteArray name = recorded.name.toByteArray();
            if (signatureOf(name, platform::inFolder(m_folder, name)))
                kept.append(recorded.toRecordedFile());
            else
                ++result.removed;
            m_changed = true;
        }
        if (!kept.isEmpty()) {
            m_files.append(kept);
            std::sort(m_files.begin(), m_files.end(), byName);
        }
        if (!m_files.isEmpty())
            seen.insert(m_key);
        for (const RecordedFile &file : std::as_const(m_files)) {
            ++totals.files;
            totals.bytes += file.signature.size;
        }
        if (m_changed) {
            if (!m_inBatch)
                m_store.beginBatch();
            m_inBatch = true;
            m_store.putFilesIn(m_key, m_files);
        }
        m_folder = QByteArray();
        if (m_inBatch &&
            (m_batchFiles >= m_options.batchFiles || m_batchBytes >= m_options.batchBytes)) {
            m_store.commitBatch();
            m_inBatch = false;
            m_batchFiles = 0;
            m_batchBytes = 0;
        }
    }

    std::optional<FileSignature> signatureOf(const QByteArray &name, const QByteArray &path) const
    {
        return m_open ? ::signatureOf(*m_open, name.constData()) : ::signatureOf(path);
    }

    void report()
    {
        if (m_options.progress)
            m_options.progress(result.progress);
    }

    IndexStore &m_store;
    const IndexUpdate::Options &m_options;
    SearchRun &m_run;
    std::optional<IndexError> m_failure;
    // the folder the walk is in (with its trailing "/"), its key, its record and its files now
    QByteArray m_folder;
    QByteArray m_key;
    std::unique_ptr<platform::OpenFolder> m_open;
    FolderRecord m_recorded;
    QList<RecordedFile> m_files;
    bool m_changed = false;
    bool m_inBatch = false;
    qint64 m_batchFiles = 0;
    qint64 m_batchBytes = 0;
};

} // namespace

IndexUpdate::IndexUpdate(IndexStore &store, Options options)
    : m_store(store)
    , m_options(std::move(options))
{}

UpdateResult IndexUpdate::update(const QByteArray &folder)
{
    // Until this update ends, the folder counts as one whose files are not all recorded: an
    // update that is killed leaves it so, and the next one tells.
    IndexedFolder indexed{folder, QDateTime::currentMSecsSinceEpoch(), false, 0, 0};
    bool wasUnfinished = false;
    for (const IndexedFolder &known : m_store.folders()) {
        if (known.path == folder) {
            indexed = known;
            wasUnfinished = !known.complete;
        }
    }
    indexed.complete = false;
    m_store.beginBatch();
    m_store.putFolder(indexed);
    m_store.commitBatch();

    cFindFile finder;
    SearchRun run(finder);
    UpdateSink sink(m_store, m_options, run);
    SearchRun::Request request;
    request.folders = {folder};
    request.searchWhileWalking = true;
    const RunOutcome outcome = run.run(request, sink);
    sink.finish();

    UpdateResult result = sink.result;
    result.complete = outcome == RunOutcome::Done && result.unlisted.isEmpty();
    result.previousUnfinished = wasUnfinished;
    indexed.updatedMs = QDateTime::currentMSecsSinceEpoch();
    indexed.complete = result.complete;
    indexed.files = sink.totals.files;
    indexed.bytes = sink.totals.bytes;
    m_store.beginBatch();
    if (result.complete) {
        // folders gone, or left without files
        for (const QByteArray &recorded : m_store.foldersUnder(folder)) {
            if (!sink.seen.contains(recorded))
                m_store.putFilesIn(recorded, {});
        }
    }
    m_store.putFolder(indexed);
    m_store.commitBatch();
    return result;
}
