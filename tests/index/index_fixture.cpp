#include "index_fixture.h"

#include "index/index_connection.h"
#include "index/index_location.h"
#include "index/index_update.h"
#include "index/postgres_store.h"
#include "index/sqlite_store.h"
#include "search/cfindfile.h"
#include "search/text_forms.h"
#include "search/where_used.h"

#include <QTest>

namespace {

class RecordingSink : public SearchSink, public LevelSink
{
public:
    RecordingSink(const QByteArray &root, RunAnswer &answer)
        : m_root(root + '/')
        , m_answer(answer)
    {}

    void folderNotListed(const QByteArray &folder, const QString &) override
    {
        m_answer.notListed.append(relative(folder));
    }
    void searching(const QByteArray &path, qint64 index, qint64 count) override
    {
        m_answer.searched.append(relative(path) + ' ' + QByteArray::number(index) + '/' +
                                 QByteArray::number(count));
    }
    void progress(const QString &status) override
    {
        if (m_answer.status.isEmpty() || m_answer.status.last() != status)
            m_answer.status.append(status);
    }
    void hit(const Candidate &candidate, const QList<qsizetype> &) override
    {
        m_answer.hits.append(relative(candidate.path));
        if (whereUsed)
            whereUsed->addReported(candidate.path);
    }
    void missed(const Candidate &candidate) override
    {
        if (whereUsed)
            whereUsed->addCandidate(candidate);
    }
    void fileNotRead(const QByteArray &path, const QString &) override
    {
        m_answer.notRead.append(relative(path));
    }
    void found(int level, const QByteArray &path, const QStringList &names) override
    {
        m_answer.hits.append(QByteArray::number(level) + ' ' + relative(path) + ' ' +
                             names.join(u',').toUtf8());
    }
    QByteArray relative(const QByteArray &path) const
    {
        return path.startsWith(m_root) ? path.sliced(m_root.size()) : path;
    }

    // the levels after the first search what the first found and missed
    WhereUsed *whereUsed = nullptr;

private:
    QByteArray m_root;
    RunAnswer &m_answer;
};

// The office index as a store that cannot select files: the records alone answer.
class RecordsOnly : public IndexStore
{
public:
    explicit RecordsOnly(std::unique_ptr<IndexStore> store)
        : m_store(std::move(store))
    {}

    QList<IndexedFolder> folders() override { return m_store->folders(); }
    FolderRecord filesIn(const QByteArray &folder) override { return m_store->filesIn(folder); }
    QByteArrayList foldersUnder(const QByteArray &root) override
    {
        return m_store->foldersUnder(root);
    }
    qint64 sizeOnDisk() override { return m_store->sizeOnDisk(); }
    StoreSelection *selection() override { return nullptr; }
    void beginBatch() override { m_store->beginBatch(); }
    void commitBatch() override { m_store->commitBatch(); }
    void putFilesIn(const QByteArray &folder, const QList<RecordedFile> &files) override
    {
        m_store->putFilesIn(folder, files);
    }
    void putFolder(const IndexedFolder &folder) override { m_store->putFolder(folder); }
    void removeFolder(const QByteArray &path, bool dropFiles) override
    {
        m_store->removeFolder(path, dropFiles);
    }

private:
    std::unique_ptr<IndexStore> m_store;
};

} // namespace

char *toString(const RunAnswer &answer)
{
    return qstrdup("hits: " + answer.hits.join(' ') + "\nnot read: " + answer.notRead.join(' ') +
                   "\nnot listed: " + answer.notListed.join(' ') + "\nsearched: " +
                   answer.searched.join(' ') + "\nstatus: " + answer.status.join(u' ').toUtf8());
}

IndexFixture::IndexFixture() = default;

void IndexFixture::update()
{
    const std::unique_ptr<IndexStore> store =
        server.isEmpty()
            ? std::unique_ptr<IndexStore>(new SqliteStore(indexFile(), SqliteStore::Mode::Write))
            : std::make_unique<PostgresStore>(server, PostgresStore::Mode::Write);
    IndexUpdate::Options options;
    // the test changes files right after the update, so the coarse clock's tick decides
    options.unsettledMarginNs = 0;
    IndexUpdate(*store, options).update(canonicalFolder(tree.root()));
}

RunAnswer IndexFixture::run(const QString &text, bool indexed, IndexReport *report,
                            int levels) const
{
    SearchRun::Request request;
    request.folders = {tree.root()};
    request.texts = {textForms(text)};
    request.searchWhileWalking = levels == 1;
    request.hitsAlone = levels == 1;
    IndexReport opened;
    std::unique_ptr<IndexFilter> filter;
    if (indexed && server.isEmpty())
        filter = IndexFilter::open(indexFile(), request.folders, IndexFilter::Use::Search, opened);
    else if (indexed)
        filter = openIndex(request.folders, IndexFilter::Use::Search, opened, server);
    if (indexed && indexOpened)
        indexOpened();
    cFindFile finder;
    SearchRun run(finder);
    run.setCandidateFilter(filter.get());
    RunAnswer answer;
    RecordingSink sink(tree.root(), answer);
    WhereUsed whereUsed(text);
    if (levels > 1)
        sink.whereUsed = &whereUsed;
    run.run(request, sink);
    whereUsed.searchLevels(run, sink, sink, 2, levels);
    if (report)
        *report = filter ? filter->report() : opened;
    return answer;
}

RunAnswer IndexFixture::answerAlone(const QString &text, int levels, bool selecting,
                                    IndexReport *report) const
{
    std::unique_ptr<IndexStore> store =
        server.isEmpty()
            ? std::unique_ptr<IndexStore>(new SqliteStore(indexFile(), SqliteStore::Mode::Read))
            : std::make_unique<PostgresStore>(server, PostgresStore::Mode::Read);
    if (!selecting)
        store = std::make_unique<RecordsOnly>(std::move(store));
    IndexReport opened;
    const std::unique_ptr<IndexFilter> filter =
        IndexFilter::openOn(std::move(store), {tree.root()}, IndexFilter::Use::AnswerAlone, opened);
    RunAnswer answer;
    if (!filter) {
        answer.notRead.append("the index was not opened");
        return answer;
    }
    cFindFile finder;
    SearchRun run(finder);
    run.setCandidateFilter(filter.get());
    RecordingSink sink(tree.root(), answer);
    WhereUsed whereUsed(text);
    if (levels > 1)
        sink.whereUsed = &whereUsed;
    const QList<QList<QByteArray>> texts{textForms(text)};
    run.searchAgain(
        filter->recordedCandidates("*", true, levels > 1 ? QList<QList<QByteArray>>() : texts),
        texts, ContentSearch::Goal::FirstOccurrence, sink);
    whereUsed.searchLevels(run, sink, sink, 2, levels);
    if (report)
        *report = filter->report();
    return answer;
}
