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

QTEST_GUILESS_MAIN(tst_RequestsInFlight)
#include "tst_requests_in_flight.moc"
