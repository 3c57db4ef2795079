#include "platform/folder_listing.h"
#include "platform/requests_in_flight.h"
#include "platform/whole_file_reads.h"
#include "search/cfindfile.h"
#include "search/search_run.h"
#include "search/text_forms.h"

#include "test_tree.h"

#include <QTest>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Writes down what a run reports, paths relative to the tree, and acts at a given step.
class RecordingSink : public SearchSink
{
public:
    explicit RecordingSink(const TestTree &tree)
        : m_root(tree.root() + '/')
    {}

    QByteArrayList candidates;
    QByteArrayList hits;
    QByteArrayList notRead;
    QByteArrayList notListed;
    QByteArrayList searched; // "path index/count"
    int blocks = 0;
    // run at each candidate found, and at each block
    std::function<void()> atCandidate;
    std::function<void()> atBlock;

    void candidateFound(const QByteArray &name, const QByteArray &folder) override
    {
        candidates.append(relative(folder + name));
        if (atCandidate)
            atCandidate();
    }
    void folderNotListed(const QByteArray &folder, const QString &) override
    {
        notListed.append(relative(folder));
    }
    void searching(const QByteArray &path, qint64 index, qint64 count) override
    {
        searched.append(relative(path) + ' ' + QByteArray::number(index) + '/' +
                        QByteArray::number(count));
    }
    void progress(const QString &) override
    {
        ++blocks;
        if (atBlock)
            atBlock();
    }
    void hit(const Candidate &candidate, const QList<qsizetype> &) override
    {
        hits.append(relative(candidate.path));
    }
    void fileNotRead(const QByteArray &path, const QString &) override
    {
        notRead.append(relative(path));
    }

private:
    QByteArray relative(const QByteArray &path) const
    {
        return path.startsWith(m_root) ? path.sliced(m_root.size()) : path;
    }
    QByteArray m_root;
};

// The paths in the walk's order, but sorted among those of one folder, which come in the order
// the file system lists them.
QByteArrayList sortedWithinFolders(QByteArrayList paths)
{
    const auto folderOf = [](const QByteArray &path) { return path.left(path.lastIndexOf('/')); };
    for (qsizetype start = 0; start < paths.size();) {
        qsizetype end = start + 1;
        while (end < paths.size() && folderOf(paths.at(end)) == folderOf(paths.at(start)))
            ++end;
        std::sort(paths.begin() + start, paths.begin() + end);
        start = end;
    }
    return paths;
}

// Keeps every request of the run in flight, as on a share, and holds every period-th one (none for
// 0) on its thread until a later one has ended, so that requests end in another order than the
// run asks for them. With candidatesAhead, the candidates go in flight as on a local disk instead:
// opened on the run's thread, their bytes asked for ahead of their turn.
class RequestsOutOfOrder
{
public:
    explicit RequestsOutOfOrder(int period, bool candidatesAhead = false)
    {
        platform::setAlwaysInFlight(true);
        platform::setAlwaysOnAskingThread(candidatesAhead);
        if (period > 0) {
            // shared with the threads, which may still hold a request when this goes
            const auto order = std::make_shared<Order>();
            platform::setRequestHook([order, period](bool before) { order->pass(before, period); });
        }
    }
    ~RequestsOutOfOrder()
    {
        platform::setRequestHook({});
        platform::setAlwaysOnAskingThread(false);
        platform::setAlwaysInFlight(false);
    }
    RequestsOutOfOrder(const RequestsOutOfOrder &) = delete;
    RequestsOutOfOrder &operator=(const RequestsOutOfOrder &) = delete;

private:
    struct Order
    {
        std::mutex mutex;
        std::condition_variable changed;
        int begun = 0;
        int lastEnded = -1;

        void pass(bool before, int period)
        {
            thread_local int number = 0;
            std::unique_lock lock(mutex);
            if (!before) {
                lastEnded = std::max(lastEnded, number);
                changed.notify_all();
                return;
            }
            number = begun++;
            // bounded: the run may end, or take the request itself, before a later one ends
            if (number % period == 0)
                changed.wait_for(lock, std::chrono::milliseconds(100),
                                 [&] { return lastEnded > number; });
        }
    };
};

SearchRun::Request assembliesHolding(const TestTree &tree, const QByteArrayList &folders,
                                     const QString &text)
{
    SearchRun::Request request;
    for (const QByteArray &folder : folders)
        request.folders.append(tree.path(folder));
    request.pattern = "*.asm*";
    request.texts = {textForms(text)};
    return request;
}

} // namespace

class tst_SearchRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reportsWhatTheWalkAndTheContentPassFind_data();
    void reportsWhatTheWalkAndTheContentPassFind();
    void stopRequests_data();
    void stopRequests();
    void listingThatFailsHalfwayIsReported();
    void treeDeeperThanAStackHolds();
    void requestsEndingOutOfOrderChangeNoReport_data();
    void requestsEndingOutOfOrderChangeNoReport();
    void stopWhileRequestsAreInFlight_data();
    void stopWhileRequestsAreInFlight();
};

void tst_SearchRun::reportsWhatTheWalkAndTheContentPassFind_data()
{
    QTest::addColumn<QByteArrayList>("folders");
    QTest::addColumn<QByteArrayList>("candidates");
    QTest::addColumn<QByteArrayList>("hits");
    QTest::addColumn<QByteArrayList>("notListed");

    const QByteArrayList aCandidates{"a/1.asm", "a/2.asm.3", "a/sub/3.asm"};
    const QByteArrayList aHits{"a/1.asm", "a/sub/3.asm"};
    QTest::addRow("a folder") << QByteArrayList{"a"} << aCandidates << aHits << QByteArrayList{};
    // every folder once, however many of the run's folders and links lead to it
    QTest::addRow("folders inside others, and a link")
        << QByteArrayList{"a/sub", "a", "link", "a"}
        << QByteArrayList{"a/sub/3.asm", "a/1.asm", "a/2.asm.3"}
        << QByteArrayList{"a/sub/3.asm", "a/1.asm"} << QByteArrayList{};
    QTest::addRow("gone, and not a folder") << QByteArrayList{"weg", "a", "b.asm"} << aCandidates
                                            << aHits << QByteArrayList{"weg/", "b.asm/"};
    QTest::addRow("no folder") << QByteArrayList{} << QByteArrayList{} << QByteArrayList{}
                               << QByteArrayList{};
}

// Searched after the walk or while it goes on, a run reports the same, in the walk's order.
void tst_SearchRun::reportsWhatTheWalkAndTheContentPassFind()
{
    QFETCH(QByteArrayList, folders);
    QFETCH(QByteArrayList, candidates);
    TestTree tree;
    tree.add({"a/1.asm:HUB", "a/2.asm.3:hub", "a/sub/3.asm:..HUB", "a/4.drw:HUB", "b.asm:HUB",
              "link->a"});
    for (const bool whileWalking : {false, true}) {
        cFindFile finder;
        SearchRun run(finder);
        RecordingSink sink(tree);
        SearchRun::Request request = assembliesHolding(tree, folders, u"HUB"_s);
        request.searchWhileWalking = whileWalking;

        QCOMPARE(run.run(request, sink), RunOutcome::Done);

        QCOMPARE(sortedWithinFolders(sink.candidates), candidates);
        QTEST(sortedWithinFolders(sink.hits), "hits");
        QTEST(sink.notListed, "notListed");
        // the content pass takes the candidates in the order the walk found them
        QByteArrayList searched;
        for (qsizetype i = 0; i < sink.candidates.size(); ++i)
            searched.append(sink.candidates.at(i) + ' ' + QByteArray::number(i) + '/' +
                            QByteArray::number(whileWalking ? -1 : candidates.size()));
        QCOMPARE(sink.searched, searched);
    }
}

void tst_SearchRun::stopRequests_data()
{
    QTest::addColumn<RunStop>("stop");
    QTest::addColumn<QByteArrayList>("folders");
    QTest::addColumn<bool>("atFirstCandidate"); // otherwise at the 100th block of the first file
    QTest::addColumn<RunOutcome>("outcome");
    QTest::addColumn<QByteArrayList>("candidates"); // in the order of their paths
    QTest::addColumn<int>("hits");

    // each folder reports its own matches, no walk enters a sub-folder
    const QByteArrayList topLevels{"a/1.asm", "a/2.asm", "b/4.asm"};
    QTest::addRow("the walk, at the first candidate")
        << RunStop::Walk << QByteArrayList{"a", "b"} << true << RunOutcome::Incomplete << topLevels
        << 3;
    // the first candidate is searched all the same
    QTest::addRow("everything, at the first candidate")
        << RunStop::Everything << QByteArrayList{"a", "b"} << true << RunOutcome::Stopped
        << topLevels << 1;
    // a large file must not keep the user waiting: it ends at its next block, not searched
    QTest::addRow("everything, inside a large file")
        << RunStop::Everything << QByteArrayList{"c"} << false << RunOutcome::Stopped
        << QByteArrayList{"c/big.asm", "c/sub/6.asm"} << 0;
}

void tst_SearchRun::stopRequests()
{
    QFETCH(RunStop, stop);
    QFETCH(QByteArrayList, folders);
    QFETCH(bool, atFirstCandidate);
    constexpr qint64 bigSize = qint64(1) << 30;
    constexpr int stopAtBlock = 100;
    TestTree tree;
    tree.add({"a/1.asm:HUB", "a/2.asm:HUB", "a/sub/3.asm:HUB", "b/4.asm:HUB", "b/sub/5.asm:HUB",
              "c/sub/6.asm:HUB"});
    // the text at the very end: only a search to the end finds it
    tree.addSparseFile("c/big.asm", bigSize, bigSize - 3, "HUB");
    cFindFile finder;
    SearchRun run(finder);
    RecordingSink sink(tree);
    if (atFirstCandidate)
        sink.atCandidate = [&] { run.requestStop(stop); };
    else
        sink.atBlock = [&] {
            if (sink.blocks == stopAtBlock)
                run.requestStop(stop);
        };

    QTEST(run.run(assembliesHolding(tree, folders, u"HUB"_s), sink), "outcome");

    std::sort(sink.candidates.begin(), sink.candidates.end());
    QTEST(sink.candidates, "candidates");
    QTEST(int(sink.hits.size()), "hits");
    if (!atFirstCandidate)
        QCOMPARE(sink.blocks, stopAtBlock);
    // the next run starts without the request
    RecordingSink next(tree);
    QCOMPARE(run.run(assembliesHolding(tree, {"b"}, u"HUB"_s), next), RunOutcome::Done);
    QCOMPARE(next.hits.size(), 2);
}

// As on a flaky share: the second read of the folder's listing fails.
void tst_SearchRun::listingThatFailsHalfwayIsReported()
{
    TestTree tree;
    for (int i = 0; i < 3000; ++i)
        tree.addFile("a/part_with_a_long_name_" + QByteArray::number(i) + ".asm", "HUB");
    int reads = 0;
    platform::setListingFault([&reads] { return ++reads == 2 ? EIO : 0; });
    cFindFile finder;
    SearchRun run(finder);
    RecordingSink sink(tree);

    run.run(assembliesHolding(tree, {"a"}, u"HUB"_s), sink);
    platform::setListingFault({});

    QVERIFY(sink.hits.size() > 0 && sink.hits.size() < 3000);
    QCOMPARE(sink.notListed, QByteArrayList{"a/"});
}

void tst_SearchRun::requestsEndingOutOfOrderChangeNoReport_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<bool>("candidatesAhead");

    QTest::addRow("in flight, ending as they come") << 0 << false;
    QTest::addRow("every second held back") << 2 << false;
    QTest::addRow("every third held back") << 3 << false;
    QTest::addRow("every fifth held back") << 5 << false;
    QTest::addRow("candidates opened ahead on the run's thread, listings held back") << 2 << true;
}

// Whatever order the listings and the candidates' requests end in, a run reports what it reports
// with the files in memory, each opened in its turn or read whole with the ones after it: the
// same candidates, hits, unreadable files and unlisted folders, in the same order.
void tst_SearchRun::requestsEndingOutOfOrderChangeNoReport()
{
    QFETCH(int, period);
    QFETCH(bool, candidatesAhead);
    TestTree tree;
    tree.add({"a/1.asm:HUB", "a/2.asm.3:hub", "a/sub/3.asm:..HUB", "a/sub/deep/4.asm:HUB",
              "a/sub/deep/5.asm:", "a/.6.asm:HUB", "a/7.drw:HUB", "b/8.asm:HUB",
              "b/x/y/z/9.asm:HUB", "c/gone.asm->nowhere", "link->a", "c/x.asm/"});
    for (int i = 0; i < 70; ++i) {
        tree.addFile("d/" + QByteArray::number(i % 4) + "/" + QByteArray::number(i) + ".asm",
                     i % 3 == 0 ? "HUB" : "NABE");
    }
    const QByteArrayList folders{"weg", "a", "b", "c", "d", "link"};
    for (const bool whileWalking : {false, true}) {
        SearchRun::Request request = assembliesHolding(tree, folders, u"HUB"_s);
        request.searchWhileWalking = whileWalking;
        cFindFile finder;
        SearchRun run(finder);
        RecordingSink oneAtATime(tree);
        platform::setWholeFileReadsAllowed(false);
        QCOMPARE(run.run(request, oneAtATime), RunOutcome::Done);
        platform::setWholeFileReadsAllowed(true);
        RecordingSink inTurn(tree);
        QCOMPARE(run.run(request, inTurn), RunOutcome::Done);
        RecordingSink inFlight(tree);
        {
            const RequestsOutOfOrder outOfOrder(period, candidatesAhead);
            QCOMPARE(run.run(request, inFlight), RunOutcome::Done);
        }

        for (const RecordingSink *sink : {&inTurn, &inFlight}) {
            QCOMPARE(sink->candidates, oneAtATime.candidates);
            QCOMPARE(sink->searched, oneAtATime.searched);
            QCOMPARE(sink->hits, oneAtATime.hits);
            QCOMPARE(sink->notRead, oneAtATime.notRead);
            QCOMPARE(sink->notListed, oneAtATime.notListed);
            QCOMPARE(sink->blocks, oneAtATime.blocks);
        }
        QCOMPARE(oneAtATime.hits.size(), 29);
        QCOMPARE(oneAtATime.notRead, QByteArrayList{"c/gone.asm"});
    }
}

void tst_SearchRun::stopWhileRequestsAreInFlight_data()
{
    QTest::addColumn<bool>("inFlight");
    QTest::addColumn<bool>("candidatesAhead");

    QTest::addRow("on threads, every second held back") << true << false;
    QTest::addRow("read whole from memory, many together") << false << false;
    QTest::addRow("opened ahead on the run's thread, bytes asked for") << true << true;
}

// A stop while many requests are in flight, or many candidates were read ahead, ends the run
// there: the hits are those of the candidates searched before it, in order, and no file or
// folder is left open.
void tst_SearchRun::stopWhileRequestsAreInFlight()
{
    QFETCH(bool, inFlight);
    QFETCH(bool, candidatesAhead);
    TestTree tree;
    for (int i = 0; i < 100; ++i)
        tree.addFile("e/" + QByteArray::number(i % 5) + "/" + QByteArray::number(i) + ".asm",
                     "HUB");
    const int before = openDescriptorCount();
    {
        std::optional<RequestsOutOfOrder> outOfOrder;
        if (inFlight)
            outOfOrder.emplace(2, candidatesAhead);
        cFindFile finder;
        SearchRun run(finder);
        RecordingSink sink(tree);
        sink.atCandidate = [&] {
            if (sink.candidates.size() == 80)
                run.requestStop(RunStop::Everything);
        };
        SearchRun::Request request = assembliesHolding(tree, {"e"}, u"HUB"_s);
        request.searchWhileWalking = true;

        QCOMPARE(run.run(request, sink), RunOutcome::Stopped);

        QCOMPARE(sink.candidates.size(), 80);
        QVERIFY(!sink.hits.isEmpty() && sink.hits.size() < 80);
        QCOMPARE(sink.hits, sink.candidates.first(sink.hits.size()));
    }
    QCOMPARE(openDescriptorCount(), before);
}

// The walk keeps no stack frame per level: in a thread with a small stack, a tree that a walk
// by recursion could not go down is walked to its end.
void tst_SearchRun::treeDeeperThanAStackHolds()
{
    constexpr int depth = 1000;
    TestTree tree;
    tree.addFolder("top");
    int folder = ::open(tree.path("top").constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < depth; ++level) {
        QCOMPARE(::mkdirat(folder, "d", 0755), 0);
        const int next = ::openat(folder, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        folder = next;
    }
    QCOMPARE(::close(::openat(folder, "x.asm", O_WRONLY | O_CREAT | O_CLOEXEC, 0644)), 0);
    int bottom = folder;
    RecordingSink sink(tree);
    QThread *walker = QThread::create([&] {
        cFindFile finder;
        SearchRun run(finder);
        run.run(assembliesHolding(tree, {"top"}, u"HUB"_s), sink);
    });
    walker->setStackSize(128 * 1024);

    walker->start();
    QVERIFY(walker->wait());
    delete walker;

    QCOMPARE(sink.candidates.size(), 1);
    QCOMPARE(sink.candidates.first().size(), qsizetype(4 + 2 * depth + 5));
    QVERIFY(sink.notListed.isEmpty());
    // too deep for the tree's own removal: from the bottom up, each folder through ".."
    QCOMPARE(::unlinkat(bottom, "x.asm", 0), 0);
    for (int level = 0; level < depth; ++level) {
        const int parent = ::openat(bottom, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(bottom);
        bottom = parent;
        QCOMPARE(::unlinkat(bottom, "d", AT_REMOVEDIR), 0);
    }
    ::close(bottom);
}

QTEST_GUILESS_MAIN(tst_SearchRun)
#include "tst_search_run.moc"
