#pragma once

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace platform {

// One blocking request to the file system (a lookup, an open, a read, a folder's listing) that a
// few shared threads take on before the one thread that needs its answer asks for it: on a share
// every request waits a round trip, and many in flight wait for it once. It runs once, on one of
// those threads or, when none has begun it yet, on the thread that asks for its answer.
class Request
{
public:
    // An urgent request goes before the normal ones that wait for a thread.
    enum Urgency
    {
        Normal,
        Urgent,
    };

    explicit Request(std::function<void()> work);
    Request(const Request &) = delete;
    Request &operator=(const Request &) = delete;

    // Hands the request to the threads.
    static void post(const std::shared_ptr<Request> &request, Urgency urgency = Normal);

    // Runs the request here unless a thread has begun it, then waits for its end; rethrows what
    // it threw.
    void finish();
    // A request not begun never runs; one under way is waited for.
    void cancel();
    // Runs the request on the calling thread, unless it was begun or cancelled; true when it ran.
    bool runUnlessBegun();
    // Once it has ended: how long its work took, wherever it ran.
    std::chrono::steady_clock::duration took() const { return m_took; }

private:
    enum State : int
    {
        Waiting,
        Running,
        Ended,
    };
    void waitForEnd();

    std::function<void()> m_work;
    std::exception_ptr m_failure;
    std::chrono::steady_clock::duration m_took{};
    std::atomic<int> m_state{Waiting};
};

// The answer of one request, in flight or kept back to be worked out when it is asked for. Whoever
// holds it asks for the answer or lets it go; either way, when it goes nothing of the request is
// still under way, and what the answer holds (open descriptors) goes with it, on the holder's
// thread.
template<typename Result> class InFlight
{
public:
    // Kept back until post: a request that the file system answers at once costs less on the
    // thread that needs it than handed to another.
    explicit InFlight(std::function<Result()> work, Request::Urgency urgency = Request::Normal)
        : m_answer(std::make_unique<Answer>())
        , m_urgency(urgency)
    {
        m_answer->request = std::make_shared<Request>(
            [answer = m_answer.get(), work = std::move(work)] { answer->result.emplace(work()); });
    }
    InFlight(InFlight &&) noexcept = default;
    InFlight &operator=(InFlight &&other) noexcept
    {
        if (this != &other) {
            letGo();
            m_answer = std::move(other.m_answer);
            m_urgency = other.m_urgency;
            m_posted = other.m_posted;
        }
        return *this;
    }
    ~InFlight() { letGo(); }

    // Hands the request to the threads, once.
    void post()
    {
        if (!std::exchange(m_posted, true))
            Request::post(m_answer->request, m_urgency);
    }

    // Once only: the answer, waited for (or worked out here) when it is not there yet; took:
    // how long the file system took for it.
    Result take(std::chrono::steady_clock::duration *took = nullptr)
    {
        m_answer->request->finish();
        if (took)
            *took = m_answer->request->took();
        Result result = std::move(*m_answer->result);
        m_answer.reset();
        return result;
    }

private:
    void letGo()
    {
        if (m_answer)
            m_answer->request->cancel();
        m_answer.reset();
    }

    struct Answer
    {
        std::shared_ptr<Request> request;
        std::optional<Result> result;
    };
    // on the heap, so that the request finds it however often this moves
    std::unique_ptr<Answer> m_answer;
    Request::Urgency m_urgency;
    bool m_posted = false;
};

// Whether a stream of requests (the candidates of a content pass, the listings of a walk) is worth
// keeping in flight: while the file system makes them wait (a share, a disk) rather than answering
// from memory, where handing each to another thread would cost more than it does.
class Lookahead
{
public:
    // span: the answers after the last two that waited in a row for which the stream stays in
    // flight
    explicit Lookahead(int span)
        : m_span(span)
    {}

    bool inFlight() const;
    // Whether the requests in flight are made on the asking thread: the file system said that
    // data was not in memory, as a local disk does, and a disk reads many files at once when
    // asked ahead without a thread waiting for each; a share cannot say, and each of its
    // requests waits a round trip that a thread of its own waits out.
    bool onAskingThread() const;
    // waited: the request waited for the disk or the network
    void noteAnswer(bool waited);
    // The file system said that an answer's data was not in memory: no thread that lost the
    // processor, so the stream goes in flight at once, on the asking thread.
    void noteNotInMemory();
    // An answer that took this long waited for something.
    static bool waitedFor(std::chrono::steady_clock::duration took);

private:
    int m_span;
    int m_left = 0;
    int m_waitedInARow = 0;
    bool m_toldNotInMemory = false;
};

// For tests: every stream of requests in flight, whatever the file system; and a hook that each
// of the threads runs before (true) and after (false) each request it takes, to let requests end
// in another order.
void setAlwaysInFlight(bool always);
// For tests: the requests in flight are made on the asking thread, as on a local disk.
void setAlwaysOnAskingThread(bool always);
void setRequestHook(std::function<void(bool before)> hook);

} // namespace platform
