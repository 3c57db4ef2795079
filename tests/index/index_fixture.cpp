#include "index_fixture.h"

#include "index/index_connection.h"
#include "index/index_location.h"
#include "index/index_update.h"
#include "index/postgres_store.h"
#include "index/sqlite_store.h"
#include "search/cfindfile.h"
#include "search/text_forms.h"

#include <QTest>

namespace {

class RecordingSink : public SearchSink
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
    }
    void fileNotRead(const QByteArray &path, const QString &) override
    {
        m_answer.notRead.append(relative(path));
    }

private:
    QByteArray relative(const QByteArray &path) const
    {
        return path.startsWith(m_root) ? path.sliced(m_root.size()) : path;
    }
    QByteArray m_root;
    RunAnswer &m_answer;
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

RunAnswer IndexFixture::run(const QString &text, bool indexed, IndexReport *report) const
{
    SearchRun::Request request;
    request.folders = {tree.root()};
    request.texts = {textForms(text)};
    request.searchWhileWalking = true;
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
    run.run(request, sink);
    if (report)
        *report = filter ? filter->report() : opened;
    return answer;
}
