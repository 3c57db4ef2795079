#include "platform/requests_in_flight.h"

#include <QTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

using platform::InFlight;

class tst_RequestsInFlight : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void requestLetGoBeforeItBeganNeverRuns();
    void requestLetGoWhileItRunsIsWaitedFor();
    void failureReachesTheThreadThatAsks();
    void lookaheadFollowsTheAnswers_data();
    void lookaheadFollowsTheAnswers();
};

void tst_RequestsInFlight::cleanup()
{
    platform::setRequestHook({});
}

// Kept back and let go, a request does no work, and what it holds (a folder's descriptor, say)
// goes with it.
void tst_RequestsInFlight::requestLetGoBeforeItBeganNeverRuns()
{
    bool ran = false;
    const auto held = std::make_shared<int>(0);
    {
        InFlight<int> request([&ran, held] {
            ran = true;
            return *held;
        });
    }
    QVERIFY(!ran);
    QCOMPARE(held.use_count(), 1);
}

// A request that a thread works on when its holder lets it go: the holder waits for its end, so
// that nothing it answers into is gone while it runs.
void tst_RequestsInFlight::requestLetGoWhileItRunsIsWaitedFor()
{
    std::atomic<bool> begun = false;
    std::atomic<bool> ended = false;
    std::atomic<bool> release = false;
    {
        InFlight<int> request([&] {
            begun = true;
            // bounded: a broken wait must fail the test, not hang it
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!release && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
            ended = true;
            return 1;
        });
        request.post();
        QTRY_VERIFY(begun);
        release = true;
    }
    QVERIFY(ended);
}

void tst_RequestsInFlight::failureReachesTheThreadThatAsks()
{
    for (const bool posted : {false, true}) {
        InFlight<int> request([]() -> int { throw std::runtime_error("EIO"); });
        if (posted)
            request.post();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, request.take());
    }
}

void tst_RequestsInFlight::lookaheadFollowsTheAnswers_data()
{
    QTest::addColumn<QString>("answers");
    QTest::addColumn<bool>("inFlight");
    QTest::addColumn<bool>("onAskingThread");

    // w: an answer that waited by the clock; q: one that did not; d: the file system said that
    // its data was not in memory. The span is 3.
    QTest::addRow("one wait alone") << "qwq" << false << false;
    QTest::addRow("two waits in a row") << "ww" << true << false;
    QTest::addRow("the disk, then less than the span") << "dqq" << true << true;
    QTest::addRow("the disk, then the span from memory") << "dqqq" << false << true;
    QTest::addRow("the disk, then two waits") << "dww" << true << false;
    QTest::addRow("two waits, then the disk") << "wwd" << true << true;
}

// Requests go in flight after two answers in a row that waited, or at once when the file system
// said that the data was not in memory; only then on the asking thread.
void tst_RequestsInFlight::lookaheadFollowsTheAnswers()
{
    QFETCH(QString, answers);
    QFETCH(bool, inFlight);
    QFETCH(bool, onAskingThread);
    platform::Lookahead lookahead(3);
    for (const QChar answer : answers) {
        if (answer == u'd')
            lookahead.noteNotInMemory();
        else
            lookahead.noteAnswer(answer == u'w');
    }
    QCOMPARE(lookahead.inFlight(), inFlight);
    if (inFlight)
        QCOMPARE(lookahead.onAskingThread(), onAskingThread);
}

QTEST_GUILESS_MAIN(tst_RequestsInFlight)
#include "tst_requests_in_flight.moc"
