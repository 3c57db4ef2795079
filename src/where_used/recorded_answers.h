#pragma once

#include "search/search_run.h"

#include <QByteArray>
#include <QHash>
#include <QList>

// What one pass over some candidates found for a set of texts, kept to answer the passes after
// it without reading those files again: each of them looks for some of those texts. Other files
// are read, and so is every file of a pass that looks for a text the first did not.
class RecordedAnswers : public CandidateFilter
{
public:
    // texts: those of the pass recorded, each in its byte forms; candidates: the files it searches
    RecordedAnswers(const QList<QList<QByteArray>> &texts, const QList<Candidate> &candidates);

    // held: the indexes of the texts the file holds, ascending; a candidate of the pass that is
    // not recorded holds none (also when a stop came before it)
    void record(const QByteArray &path, const QList<qsizetype> &held);

    void begin(const QList<QList<QByteArray>> &texts) override;
    std::optional<Answer> answer(const Candidate &candidate) override;

private:
    QHash<QList<QByteArray>, qsizetype> m_indexOfText;
    QHash<QByteArray, QList<qsizetype>> m_held;
    // the current pass's index of each recorded text it looks for
    QHash<qsizetype, qsizetype> m_passText;
    bool m_answering = false;
};
