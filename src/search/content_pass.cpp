#include "search/content_pass.h"

#include "platform/file_lookup.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <utility>
#include <vector>

namespace {

// Candidates held before their turn. From memory as many are read whole with one system call; from
// a local disk as many have their bytes asked for, about as many large requests as the disk takes
// at once (more gained nothing, bench/README.md).
constexpr size_t candidatesInFlight = 32;
// On a share each candidate waits about three round trips on a thread (its lookup, its opening,
// its first read): 64 at once keep the file server busier than eight threads of a parallel grep,
// with 64 first chunks (1 MiB) held.
constexpr size_t candidatesOnThreads = 64;
// Candidates opened the usual way after those read together were mostly too large to read whole.
constexpr int passOverAfterLargeFiles = 8 * int(candidatesInFlight);

} // namespace

ContentPass::ContentPass(StatusSink status, StopRequest stopRequested)
    : m_status(std::move(status))
    , m_stopRequested(std::move(stopRequested))
    , m_lookahead(2 * int(candidatesInFlight))
    , m_wholeReads(int(candidatesInFlight))
{}

void ContentPass::add(const QByteArray &path, const std::optional<platform::ListedEntry> &listed,
                      std::optional<CandidateFilter::Answer> answer)
{
    Pending &pending =
        m_pending.emplace_back(Pending{{path, listed}, std::move(answer), {}, {}, {}});
    if (m_lookahead.inFlight())
        prepare(pending);
}

void ContentPass::prepare(Pending &pending)
{
    // a candidate answered without reading, or read already, is not opened
    if (pending.answer || pending.opened || pending.readingAhead || pending.isReadWhole())
        return;
    if (m_lookahead.onAskingThread()) {
        const auto start = std::chrono::steady_clock::now();
        pending.readingAhead = openAndReadAhead(pending.candidate);
        // opens that wait a round trip each (a network file system that tells what is in
        // memory) are better waited out by the threads
        if (platform::Lookahead::waitedFor(std::chrono::steady_clock::now() - start))
            m_lookahead.noteAnswer(true);
        return;
    }
    pending.opened.emplace(
        [candidate = pending.candidate,
         buffer = std::make_shared<OpenedCandidate::Buffer>(firstChunkBuffer())] {
            return openCandidate(candidate, 1, std::move(*buffer));
        });
    pending.opened->post();
}

bool ContentPass::isFull() const
{
    const bool onThreads = m_lookahead.inFlight() && !m_lookahead.onAskingThread();
    return m_pending.size() >= (onThreads ? candidatesOnThreads : candidatesInFlight);
}

bool ContentPass::mayReadWhole(const Pending &pending)
{
    // Only an ordinary file that its listing named: anything else is looked up, and then the
    // usual way tells all.
    return !pending.answer && !pending.opened && !pending.readingAhead && !pending.read &&
           pending.candidate.listed &&
           pending.candidate.lookup().kind == platform::FileKind::Ordinary;
}

void ContentPass::readWhole()
{
    // The first candidate that may be read whole was not among the first of those read before,
    // so all of them have been searched: the room is free.
    if (!m_wholeRoom) {
        // on cache lines, as the kernel copies fastest (see ContentSearch)
        m_wholeRoom.reset(static_cast<char *>(
            std::aligned_alloc(64, size_t(platform::WholeFileReads::room) * candidatesInFlight)));
        if (!m_wholeRoom)
            throw std::bad_alloc();
    }
    std::vector<platform::WholeFileReads::File> files;
    std::vector<Pending *> read;
    for (Pending &pending : m_pending) {
        if (files.size() == size_t(m_wholeReads.most()))
            break;
        if (!mayReadWhole(pending))
            continue;
        const std::optional<platform::ListedEntry> &listed = pending.candidate.listed;
        const QByteArray &path = pending.candidate.path;
        const bool inFolder = listed->folder != nullptr;
        files.push_back(
            {inFolder ? listed->folder->descriptor() : AT_FDCWD,
             path.constData() + (inFolder ? platform::nameStart(path) : 0),
             m_wholeRoom.get() + platform::WholeFileReads::room * qsizetype(read.size())});
        read.push_back(&pending);
    }
    m_wholeReads.read(files);
    int notInMemory = 0;
    size_t whole = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        read[i]->read = files[i];
        if (files[i].outcome == platform::WholeFileReads::File::NotInMemory)
            ++notInMemory;
        else if (files[i].outcome == platform::WholeFileReads::File::Whole)
            ++whole;
    }
    // Where most files are too large to read whole, each read is done twice: try again later.
    if (2 * whole < files.size())
        m_passedOver = passOverAfterLargeFiles;
    // The disk, not a thread that lost the processor, said so: the coming requests go in flight
    // at once.
    if (notInMemory >= 2)
        m_lookahead.noteNotInMemory();
}

ContentSearchResult ContentPass::searchNext(ContentSearch &search)
{
    if (m_passedOver > 0)
        --m_passedOver;
    else if (m_wholeReads.isAvailable() && !m_lookahead.inFlight() &&
             mayReadWhole(m_pending.front()))
        readWhole();
    Pending pending = std::move(m_pending.front());
    m_pending.pop_front();
    const ContentSearchResult result = this->search(pending, search);
    // the candidates added while the files came from memory
    if (m_lookahead.inFlight()) {
        for (Pending &waiting : m_pending)
            prepare(waiting);
    }
    return result;
}

ContentSearchResult ContentPass::search(Pending &pending, ContentSearch &search)
{
    if (pending.answer) {
        if (pending.answer->size > 0 && m_status)
            m_status(progressText(100));
        return pending.answer->result;
    }
    if (pending.isReadWhole()) {
        m_lookahead.noteAnswer(false);
        return search.searchWhole(pending.read->target, pending.read->length, m_status,
                                  m_stopRequested);
    }
    std::chrono::steady_clock::duration took;
    OpenedCandidate opened;
    if (pending.readingAhead) {
        // what its opening took counted when it was made
        opened = std::move(*pending.readingAhead);
        took = {};
    } else if (pending.opened) {
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
    if (residence == platform::Residence::OnDisk)
        m_lookahead.noteNotInMemory();
    else
        m_lookahead.noteAnswer(residence == platform::Residence::Unknown ||
                               platform::Lookahead::waitedFor(took));
    return result;
}
