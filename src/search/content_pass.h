#pragma once

#include "platform/folder_listing.h"
#include "platform/requests_in_flight.h"
#include "platform/whole_file_reads.h"
#include "search/content_search.h"
#include "search/search_run.h"

#include <QByteArray>
#include <QString>
#include <deque>
#include <optional>

// The content pass of a run: searches candidates in the order they are added. While the files come
// from a disk or a share rather than from memory, each candidate is made ready as it is added, so
// that the waits of the coming candidates overlap: from a local disk the run's thread opens it and
// asks the kernel for its bytes; on a share, which waits a round trip for each request, a request
// in flight looks it up, opens it and reads its first chunk. From memory the coming candidates are
// read whole together when the first of them has its turn, where they are small, and each other
// one is opened when its turn comes. What it holds is bounded: the pending candidates, their files
// and first chunks, and the folders of those that came from a walk.
class ContentPass
{
public:
    explicit ContentPass(StatusSink status = {}, StopRequest stopRequested = {});

    // listed: what the listing of the candidate's folder told of it, when known; its folder
    // stays open until the candidate has been searched. answer: what the candidate holds when
    // that is known without reading it; then it is not opened, and its turn shows the progress
    // of a whole file.
    void add(const QByteArray &path, const std::optional<platform::ListedEntry> &listed = {},
             std::optional<CandidateFilter::Answer> answer = {});
    // Holds as many candidates as it keeps in flight (more on a share's threads): search one
    // before adding more.
    bool isFull() const;
    bool isEmpty() const { return m_pending.empty(); }
    // The candidate searchNext searches; there must be one.
    const Candidate &next() const { return m_pending.front().candidate; }
    // Searches the oldest candidate not searched yet and drops it.
    ContentSearchResult searchNext(ContentSearch &search);

private:
    struct Pending
    {
        Candidate candidate;
        std::optional<CandidateFilter::Answer> answer;
        // handed to the threads; none for a candidate opened in its turn or answered
        std::optional<platform::InFlight<OpenedCandidate>> opened;
        // opened here, its bytes asked for from a local disk
        std::optional<OpenedCandidate> readingAhead;
        // read whole along with the candidates after it: its bytes in m_wholeRoom
        std::optional<platform::WholeFileReads::File> read;

        bool isReadWhole() const
        {
            return read && read->outcome == platform::WholeFileReads::File::Whole;
        }
    };

    // Makes the candidate ready before its turn: opened here with its bytes asked for from a
    // local disk, or handed to the threads with its first chunk made here.
    void prepare(Pending &pending);
    static bool mayReadWhole(const Pending &pending);
    // Reads the coming candidates that may be read whole, up to as many as are in flight.
    void readWhole();
    ContentSearchResult search(Pending &pending, ContentSearch &search);

    StatusSink m_status;
    StopRequest m_stopRequested;
    std::deque<Pending> m_pending;
    platform::Lookahead m_lookahead;
    platform::WholeFileReads m_wholeReads;
    // room for the files that m_wholeReads reads, each WholeFileReads::room
    OpenedCandidate::Buffer m_wholeRoom;
    // candidates still to be opened the usual way before more are read whole
    int m_passedOver = 0;
};
