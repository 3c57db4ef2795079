#include "index/index_update.h"

#include "platform/file_lookup.h"
#include "search/cfindfile.h"
#include "search/search_run.h"

#include <QDateTime>
#include <optional>

namespace {

// Records each file the walk reaches; a store error ends the walk and is thrown after it.
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
        if (m_failure || name.startsWith('.'))
            return;
        try {
            record(platform::inFolder(folder, name));
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

    void finishBatch()
    {
        if (m_inBatch)
            m_store.commitBatch();
        m_inBatch = false;
        m_batchFiles = 0;
        m_batchBytes = 0;
    }
    void rethrow() const
    {
        if (m_failure)
            throw *m_failure;
    }

    UpdateResult result;
    QSet<qint64> seen;

private:
    void record(const QByteArray &path)
    {
        const std::optional<FileSignature> signature = signatureOf(path);
        // folders, FIFOs, links that lead nowhere: a search never reads them
        if (!signature)
            return;
        ++result.progress.files;
        result.progress.bytesSeen += signature->size;
        const std::optional<RecordedFile> recorded = m_store.find(path);
        if (recorded && recorded->signature == *signature &&
            recorded->state != FileState::Unsettled) {
            seen.insert(recorded->id);
            report();
            return;
        }
        const qint64 start = fileClockNs();
        FileRecord record = recordFile(path, m_options.runLimit);
        if (signatureOf(path) != signature ||
            isUnsettled(*signature, start, m_options.unsettledMarginNs))
            record.state = FileState::Unsettled;
        if (!m_inBatch)
            m_store.beginBatch();
        m_inBatch = true;
        seen.insert(m_store.put(path, *signature, record.state, record.runs));
        ++result.progress.filesRead;
        result.progress.bytesRead += record.bytesRead;
        ++m_batchFiles;
        m_batchBytes += record.bytesRead + record.runs.size();
        if (m_batchFiles >= m_options.batchFiles || m_batchBytes >= m_options.batchBytes)
            finishBatch();
        report();
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
    sink.rethrow();
    sink.finishBatch();

    UpdateResult result = sink.result;
    result.complete = outcome == RunOutcome::Done && result.unlisted.isEmpty();
    result.previousUnfinished = wasUnfinished;
    indexed.updatedMs = QDateTime::currentMSecsSinceEpoch();
    indexed.complete = result.complete;
    m_store.beginBatch();
    if (result.complete) {
        for (const qint64 id : m_store.filesUnder(folder)) {
            if (!sink.seen.contains(id)) {
                m_store.remove(id);
                ++result.removed;
            }
        }
    }
    const IndexStore::Totals totals = m_store.totalsUnder(folder);
    indexed.files = totals.files;
    indexed.bytes = totals.bytes;
    m_store.putFolder(indexed);
    m_store.commitBatch();
    return result;
}
