#include "where_used/recorded_answers.h"

#include <algorithm>

RecordedAnswers::RecordedAnswers(const QList<QList<QByteArray>> &texts,
                                 const QList<Candidate> &candidates)
{
    for (qsizetype text = 0; text < texts.size(); ++text)
        m_indexOfText.insert(texts.at(text), text);
    for (const Candidate &candidate : candidates)
        m_held.insert(candidate.path, {});
}

void RecordedAnswers::record(const QByteArray &path, const QList<qsizetype> &held)
{
    m_held.insert(path, held);
}

void RecordedAnswers::begin(const QList<QList<QByteArray>> &texts)
{
    m_passText.clear();
    m_answering = true;
    for (qsizetype text = 0; text < texts.size(); ++text) {
        const auto recorded = m_indexOfText.constFind(texts.at(text));
        if (recorded == m_indexOfText.cend()) {
            m_answering = false;
            return;
        }
        m_passText.insert(*recorded, text);
    }
}

std::optional<CandidateFilter::Answer> RecordedAnswers::answer(const Candidate &candidate)
{
    const auto recorded = m_held.constFind(candidate.path);
    if (!m_answering || recorded == m_held.cend())
        return std::nullopt;
    Answer answer;
    for (const qsizetype held : *recorded) {
        if (const auto text = m_passText.constFind(held); text != m_passText.cend())
            answer.result.texts.append(*text);
    }
    if (!answer.result.texts.isEmpty()) {
        std::sort(answer.result.texts.begin(), answer.result.texts.end());
        answer.result.outcome = ContentSearchOutcome::Found;
    }
    return answer;
}
