#include "search/content_pass.h"

#include "platform/raw_file.h"

#include <utility>

namespace {

// Candidates read ahead; the kernel reads several files at once far faster than one after another.
constexpr size_t readAheadFiles = 16;
// Bytes asked for per candidate: most CAD files whole, and the first chunks of a large one; the
// kernel's own read-ahead takes over when it is read on.
constexpr qint64 readAheadBytes = 512 * 1024;
// A warm cache costs the read-ahead's system calls and gains nothing: after this many files found
// in memory in a row, when searched or read ahead, the pass reads ahead no more until one is not.
// A file in memory can look as if it were not, when the kernel would have to start its own
// read-ahead to hand it over, so one such file must not keep the pass reading ahead for long.
constexpr int readAheadSpan = 2 * int(readAheadFiles);

} // namespace

ContentPass::ContentPass(StatusSink status, StopRequest stopRequested)
    : m_status(std::move(status))
    , m_stopRequested(std::move(stopRequested))
{}

void ContentPass::add(const QByteArray &path, const std::optional<platform::ListedEntry> &listed,
                      std::optional<CandidateFilter::Answer> answer)
{
    // a candidate answered without reading is not read ahead either
    m_pending.push_back({{path, listed}, answer.has_value(), std::move(answer)});
    if (m_readAheadSpan > 0 && m_pending.size() > 1)
        readAhead(m_pending.back());
}

bool ContentPass::isFull() const
{
    return m_pending.size() > readAheadFiles;
}

ContentSearchResult ContentPass::searchNext(ContentSearch &search)
{
    // the candidates added while the files were in memory
    for (size_t i = 1; i < m_pending.size() && m_readAheadSpan > 0; ++i)
        readAhead(m_pending[i]);
    const Candidate candidate = std::move(m_pending.front().candidate);
    const std::optional<CandidateFilter::Answer> answer = std::move(m_pending.front().answer);
    m_pending.pop_front();
    if (answer) {
        if (answer->size > 0 && m_status)
            m_status(contentSearchStatus.toString() + QStringLiteral("100%"));
        return answer->result;
    }
    // a candidate that is not read costs the disk nothing either
    platform::Residence residence = platform::Residence::InMemory;
    const ContentSearchResult result =
        search.search(candidate, 1, m_status, m_stopRequested, &residence);
    noteResidence(residence);
    return result;
}

void ContentPass::readAhead(Pending &pending)
{
    if (std::exchange(pending.readAhead, true))
        return;
    // never open what is not a regular file: opening a device can have side effects
    if (pending.candidate.lookup().kind != platform::FileKind::Ordinary)
        return;
    platform::RawFile file;
    if (!pending.candidate.open(file))
        return;
    const platform::Residence residence = file.firstByteResidence();
    if (residence != platform::Residence::InMemory)
        file.readAhead(readAheadBytes);
    noteResidence(residence);
}

void ContentPass::noteResidence(platform::Residence residence)
{
    if (residence != platform::Residence::InMemory)
        m_readAheadSpan = readAheadSpan;
    else if (m_readAheadSpan > 0)
        --m_readAheadSpan;
}
