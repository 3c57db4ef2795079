#pragma once

#include <atomic>
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
    explicit Request(std::function<void()> work);
    Request(const Request &) = delete;
    Request &operator=(const Request &) = delete;

    // Hands the request to the threads.
    static void post(const std::shared_ptr<Request> &request);

    // Runs the request here unless a thread has begun it, then waits for its end; rethrows what
    // it threw.
    void finish();
    // A request not begun never runs; one under way is waited for.
    void cancel();
    // Runs the request on the calling thread, unless it was begun or cancelled.
    void runUnlessBegun();

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
    std::atomic<int> m_state{Waiting};
};

// The answer of one request in flight. Whoever holds it asks for the answer or lets it go; either
// way, when it goes nothing of the request is still under way, and what the answer holds (open
// descriptors) goes with it, on the holder's thread.
template<typename Result> class InFlight
{
public:
    explicit InFlight(std::function<Result()> work)
        : m_answer(std::make_unique<Answer>())
    {
        m_answer->request = std::make_shared<Request>(
            [answer = m_answer.get(), work = std::move(work)] { answer->result.emplace(work()); });
        Request::post(m_answer->request);
    }
    InFlight(InFlight &&) noexcept = default;
    InFlight &operator=(InFlight &&other) noexcept
    {
        if (this != &other) {
            letGo();
            m_answer = std::move(other.m_answer);
        }
        return *this;
    }
    ~InFlight() { letGo(); }

    // Once only: the answer, waited for (or worked out here) when it is not there yet.
    Result take()
    {
        m_answer->request->finish();
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
};

} // namespace platform
