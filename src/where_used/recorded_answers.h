#pragma once

#include "search/search_run.h"

#include <QByteArray>
#include <QHash>
#include <QList>

// What one pass over the candidates found for a set of texts, kept to answer the passes after it
// without reading a file again: each of them looks for some of those texts. A pass that looks
// for a text the first did not is not answered; its candidates are read.
class RecordedAnswers : public CandidateFilter
{
public:
    // texts: those of the pass recorded, each in its byte forms
    explicit RecordedAnswers(const QList<QList<QByteArray>> &texts);

    // held: the indexes of the texts the file holds, ascending; a file never recorded holds none
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
