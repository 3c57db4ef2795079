#include "platform/requests_in_flight.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

namespace {

// Enough threads for the requests the run keeps in flight (32 candidates and 16 folder listings,
// see ContentPass and cFindFile): each waits out one round trip at a time. Started as requests
// find no idle one, so a warm local search starts few.
constexpr size_t maxThreads = 48;
// An answer from memory: an open, a read of 64 KiB, a folder of a few hundred entries.
constexpr std::chrono::microseconds quickAnswer(100);

std::atomic<bool> alwaysInFlight{false};
std::atomic<bool> alwaysOnAskingThread{false};

class RequestThreads
{
public:
    static RequestThreads &instance()
    {
        static RequestThreads threads;
        return threads;
    }

    void post(std::shared_ptr<Request> request, Request::Urgency urgency)
    {
        const std::lock_guard lock(m_mutex);
        if (urgency == Request::Urgent)
            m_queue.insert(m_queue.begin() + std::ptrdiff_t(m_urgent++), std::move(request));
        else
            m_queue.push_back(std::move(request));
        // A thread busy with a request that the file system answers at once takes the next one
        // itself in a moment: waking another would cost more than the request. Requests that wait
        // (a share, a disk) each want a thread of their own.
        const size_t awake = m_threads.size() - m_idle;
        if (m_answersQuickly ? awake > 0 : m_queue.size() + m_running <= awake)
            return;
        if (m_idle > 0)
            m_wake.notify_one();
        else if (m_threads.size() < maxThreads)
            m_threads.emplace_back([this] { serve(); });
    }

    void setHook(std::function<void(bool)> hook)
    {
        const std::lock_guard lock(m_mutex);
        m_hook = std::move(hook);
    }

    ~RequestThreads()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_quitting = true;
            m_queue.clear();
            m_urgent = 0;
        }
        m_wake.notify_all();
        for (std::thread &thread : m_threads)
            thread.join();
    }

private:
    void serve()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            while (m_queue.empty() && !m_quitting) {
                ++m_idle;
                m_wake.wait(lock);
                --m_idle;
            }
            if (m_quitting)
                return;
            const std::shared_ptr<Request> request = std::move(m_queue.front());
            m_queue.pop_front();
            if (m_urgent > 0)
                --m_urgent;
            const std::function<void(bool)> hook = m_hook;
            ++m_running;
            lock.unlock();
            if (hook)
                hook(true);
            const bool ran = request->runUnlessBegun();
            if (hook)
                hook(false);
            lock.lock();
            --m_running;
            if (ran)
                m_answersQuickly = request->took() < quickAnswer;
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    // the urgent requests first, each part in the order posted
    std::deque<std::shared_ptr<Request>> m_queue;
    size_t m_urgent = 0;
    std::vector<std::thread> m_threads;
    size_t m_idle = 0;
    // threads at work on a request
    size_t m_running = 0;
    // the last request a thread worked on did not wait for the file system
    bool m_answersQuickly = false;
    bool m_quitting = false;
    std::function<void(bool)> m_hook;
};

} // namespace

Request::Request(std::function<void()> work)
    : m_work(std::move(work))
{}

void Request::post(const std::shared_ptr<Request> &request, Urgency urgency)
{
    RequestThreads::instance().post(request, urgency);
}

bool Request::runUnlessBegun()
{
    int waiting = Waiting;
    if (!m_state.compare_exchange_strong(waiting, Running, std::memory_order_acquire))
        return false;
    const auto start = std::chrono::steady_clock::now();
    try {
        m_work();
    } catch (...) {
        m_failure = std::current_exception();
    }
    m_took = std::chrono::steady_clock::now() - start;
    // what the work holds (a folder's descriptor) is let go here, not when the queue drops it
    m_work = {};
    m_state.store(Ended, std::memory_order_release);
    m_state.notify_all();
    return true;
}

void Request::finish()
{
    runUnlessBegun();
    waitForEnd();
    if (m_failure)
        std::rethrow_exception(m_failure);
}

void Request::cancel()
{
    int waiting = Waiting;
    if (m_state.compare_exchange_strong(waiting, Ended, std::memory_order_acquire)) {
        m_work = {};
        return;
    }
    waitForEnd();
}

void Request::waitForEnd()
{
    for (int state = m_state.load(std::memory_order_acquire); state != Ended;
         state = m_state.load(std::memory_order_acquire))
        m_state.wait(state, std::memory_order_acquire);
}

bool Lookahead::inFlight() const
{
    return m_left > 0 || alwaysInFlight.load(std::memory_order_relaxed);
}

bool Lookahead::onAskingThread() const
{
    return m_toldNotInMemory || alwaysOnAskingThread.load(std::memory_order_relaxed);
}

void Lookahead::noteAnswer(bool waited)
{
    // One answer that waited may be a thread that lost the processor on a busy machine, or a file
    // the kernel hands over only after starting its own read-ahead: going in flight starts
    // threads, so it takes two in a row.
    m_waitedInARow = waited ? m_waitedInARow + 1 : 0;
    if (m_waitedInARow >= 2) {
        m_left = m_span;
        m_toldNotInMemory = false;
    } else if (m_left > 0) {
        --m_left;
    }
}

void Lookahead::noteNotInMemory()
{
    m_waitedInARow = 0;
    m_left = m_span;
    m_toldNotInMemory = true;
}

bool Lookahead::waitedFor(std::chrono::steady_clock::duration took)
{
    // Answers from memory take microseconds (an open, a read of 64 KiB, a folder of a few hundred
    // entries), but a thread that loses the processor to another on a busy machine may take a
    // millisecond; a share's listing (a lookup, an opening and a read, one round trip each) more.
    return took >= std::chrono::milliseconds(1);
}

void setAlwaysInFlight(bool always)
{
    alwaysInFlight = always;
}

void setAlwaysOnAskingThread(bool always)
{
    alwaysOnAskingThread = always;
}

void setRequestHook(std::function<void(bool before)> hook)
{
    RequestThreads::instance().setHook(std::move(hook));
}

} // namespace platform
