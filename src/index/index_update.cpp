#include "index/index_update.h"

#include "index/index_location.h"
#include "search/cfindfile.h"
#include "search/search_run.h"

#include <QDateTime>
#include <QSet>
#include <deque>
#include <memory>
#include <optional>

namespace {

// Files whose look-ups or reads are asked for ahead, through a share: as many as a search keeps
// in flight.
constexpr size_t filesAhead = 32;

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
            if (m_folders.empty() || folder != m_folders.back()->path)
                m_folders.push_back(
                    std::make_unique<Folder>(folder, m_store, m_options, m_lookahead, m_together));
            if (name.startsWith('.'))
                return;
            Folder &walked = *m_folders.back();
            walked.recording.comingUp(name);
            walked.coming.push_back(name);
            if (++m_coming > filesAhead)
                recordNext();
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

    // Writes the folders the walk was in and the batch under way.
    void finish()
    {
        rethrow();
        while (!m_folders.empty())
            finishOldest();
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
    // the files recorded under the folder now, and their bytes
    qint64 totalFiles = 0;
    qint64 totalBytes = 0;

private:
    // A folder of the walk: its record under way, and the files the walk told of that are not
    // recorded yet, whose look-ups or reads may be under way.
    struct Folder
    {
        Folder(const QByteArray &path, IndexStore &store, const IndexUpdate::Options &options,
               platform::Lookahead &lookahead, FilesReadTogether &together)
            : path(path)
            , recording(store, path, options, &lookahead, &together)
        {}

        QByteArray path; // with its trailing "/"
        FolderRecording recording;
        std::deque<QByteArray> coming;
    };

    void recordNext()
    {
        // the folders before the one the next file is in are recorded whole
        while (m_folders.front()->coming.empty())
            finishOldest();
        Folder &folder = *m_folders.front();
        const QByteArray name = folder.coming.front();
        folder.coming.pop_front();
        --m_coming;
        const FolderRecording::Added added = folder.recording.add(name);
        if (!added.signature)
            return;
        ++result.progress.files;
        result.progress.bytesSeen += added.signature->size;
        if (added.read) {
            ++result.progress.filesRead;
            result.progress.bytesRead += added.bytesRead;
            ++m_batchFiles;
            m_batchBytes += added.bytesRead + added.runBytes;
        }
        report();
    }

    void finishOldest()
    {
        Folder &folder = *m_folders.front();
        while (!folder.coming.empty())
            recordNext();
        if (!m_inBatch)
            m_store.beginBatch();
        m_inBatch = true;
        result.removed += folder.recording.finish();
        if (!folder.recording.files().isEmpty())
            seen.insert(folderKey(folder.path));
        for (const RecordedFile &file : folder.recording.files()) {
            ++totalFiles;
            totalBytes += file.signature.size;
        }
        m_folders.pop_front();
        if (m_batchFiles >= m_options.batchFiles || m_batchBytes >= m_options.batchBytes) {
            m_store.commitBatch();
            m_inBatch = false;
            m_batchFiles = 0;
            m_batchBytes = 0;
        }
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
    platform::Lookahead m_lookahead{2 * int(filesAhead)};
    FilesReadTogether m_together;
    // the folders whose files the walk told of and that are not written yet, oldest first
    std::deque<std::unique_ptr<Folder>> m_folders;
    size_t m_coming = 0; // their files not recorded yet
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
    indexed.files = sink.totalFiles;
    indexed.bytes = sink.totalBytes;
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
