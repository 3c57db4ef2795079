#pragma once

#include "platform/folder_listing.h"
#include "search/content_search.h"
#include "search/search_run.h"

#include <QByteArray>
#include <QString>
#include <deque>
#include <optional>

// The content pass of a run: searches candidates in the order they are added. While the files come
// from the disk rather than from memory, it asks the kernel to read the next few candidates' first
// bytes ahead, so that the disk works on them while the current one is searched. What it holds is
// bounded: between two calls no file is open, only the folders of pending candidates that came from
// a walk, and it asks for the first bytes of the pending candidates only.
class ContentPass
{
public:
    explicit ContentPass(StatusSink status = {}, StopRequest stopRequested = {});

    // listed: what the listing of the candidate's folder told of it, when known; its folder
    // stays open until the candidate has been searched. answer: what the candidate holds when
    // that is known without reading it; then its turn shows the progress of a whole file.
    void add(const QByteArray &path, const std::optional<platform::ListedEntry> &listed = {},
             std::optional<CandidateFilter::Answer> answer = {});
    // Holds as many candidates as it reads ahead: search one before adding more.
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
        bool readAhead = false;
        std::optional<CandidateFilter::Answer> answer;
    };

    void readAhead(Pending &pending);
    void noteResidence(platform::Residence residence);

    StatusSink m_status;
    StopRequest m_stopRequested;
    std::deque<Pending> m_pending;
    // how many more files found in memory the pass reads ahead for: reading ahead while above 0
    int m_readAheadSpan = 0;
};
