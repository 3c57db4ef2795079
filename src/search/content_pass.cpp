#include "search/content_pass.h"

#include <chrono>
#include <utility>

namespace {

// Candidates in flight. On a share each waits about three round trips (its lookup, its opening,
// its first read); 32 at once keep the file server as busy as eight threads of a parallel grep,
// with 32 first chunks (512 KiB) held.
constexpr size_t candidatesInFlight = 32;

} // namespace

ContentPass::ContentPass(StatusSink status, StopRequest stopRequested)
    : m_status(std::move(status))
    , m_stopRequested(std::move(stopRequested))
    , m_lookahead(2 * int(candidatesInFlight))
{}

void ContentPass::add(const QByteArray &path, const std::optional<platform::ListedEntry> &listed,
                      std::optional<CandidateFilter::Answer> answer)
{
    Pending &pending = m_pending.emplace_back(Pending{{path, listed}, std::move(answer), {}});
    if (m_lookahead.inFlight())
        post(pending);
}

void ContentPass::post(Pending &pending)
{
    // a candidate answered without reading is not opened
    if (pending.answer || pending.opened)
        return;
    pending.opened.emplace(
        [candidate = pending.candidate,
         buffer = std::make_shared<OpenedCandidate::Buffer>(firstChunkBuffer())] {
            return openCandidate(candidate, 1, std::move(*buffer));
        });
    pending.opened->post();
}

bool ContentPass::isFull() const
{
    return m_pending.size() >= candidatesInFlight;
}

ContentSearchResult ContentPass::searchNext(ContentSearch &search)
{
    Pending pending = std::move(m_pending.front());
    m_pending.pop_front();
    if (pending.answer) {
        if (pending.answer->size > 0 && m_status)
            m_status(contentSearchStatus.toString() + QStringLiteral("100%"));
        return pending.answer->result;
    }
    std::chrono::steady_clock::duration took;
    OpenedCandidate opened;
    if (pending.opened) {
        opened = pending.opened->take(&took);
    } else {
        const auto start = std::chrono::steady_clock::now();
        opened = openCandidate(pending.candidate);
        took = std::chrono::steady_clock::now() - start;
    }
    // a candidate that is not read costs the disk nothing either
    platform::Residence residence = platform::Residence::InMemory;
    const ContentSearchResult result =
        search.search(std::move(opened), m_status, m_stopRequested, &residence);
    m_lookahead.noteAnswer(residence != platform::Residence::InMemory ||
                           platform::Lookahead::waitedFor(took));
    // the candidates added while the files came from memory
    if (m_lookahead.inFlight()) {
        for (Pending &waiting : m_pending)
            post(waiting);
    }
    return result;
}
