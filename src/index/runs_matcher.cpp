#include "index/runs_matcher.h"

#include "index/file_record.h"

#include <QHash>
#include <algorithm>

RunsMatcher::RunsMatcher(const QList<QList<QByteArray>> &texts)
{
    QByteArrayList &needles = m_needles;
    QHash<QByteArray, qsizetype> needleIndex;
    for (qsizetype text = 0; text < texts.size(); ++text) {
        for (const QByteArray &form : texts.at(text)) {
            Form entry{text, isAnsweredExactly(form), {}};
            for (const QByteArray &piece : namePieces(form)) {
                const auto known = needleIndex.constFind(piece);
                if (known != needleIndex.constEnd()) {
                    entry.needles.append(*known);
                    continue;
                }
                needleIndex.insert(piece, needles.size());
                entry.needles.append(needles.size());
                needles.append(piece);
            }
            m_exact = m_exact && entry.exact;
            if (entry.needles.isEmpty())
                m_textsWithoutPieces.append(text);
            for (const qsizetype needle : entry.needles) {
                m_formsOfNeedle.resize(needles.size());
                m_formsOfNeedle[needle].append(m_forms.size());
            }
            m_forms.append(entry);
        }
    }
    if (!needles.isEmpty())
        m_search.emplace(needles);
    m_found.assign(needles.size(), false);
}

RunsMatcher::Verdict RunsMatcher::match(QByteArrayView runs) const
{
    std::vector<qsizetype> &found = m_foundList;
    found.clear();
    if (m_search) {
        // each needle found once; the next search goes on from where the last one was found,
        // since another may begin at the same byte
        qsizetype from = 0;
        for (;;) {
            const MultiByteSearch::Hit hit =
                m_search->find(runs.data(), runs.size(), from, m_found);
            if (hit.position < 0)
                break;
            m_found[hit.needle] = true;
            found.push_back(hit.needle);
            from = hit.position;
        }
    }
    return verdictOn(found);
}

RunsMatcher::Verdict RunsMatcher::verdictOn(const std::vector<qsizetype> &found) const
{
    for (const qsizetype needle : found)
        m_found[needle] = true;
    Verdict verdict;
    std::vector<qsizetype> &maybe = m_maybe;
    maybe.assign(m_textsWithoutPieces.begin(), m_textsWithoutPieces.end());
    for (const qsizetype needle : found) {
        for (const qsizetype index : m_formsOfNeedle.at(needle)) {
            const Form &form = m_forms.at(index);
            if (!std::all_of(form.needles.begin(), form.needles.end(),
                             [this](qsizetype other) { return bool(m_found[other]); }))
                continue;
            if (form.exact)
                verdict.held.append(form.text);
            else
                maybe.push_back(form.text);
        }
    }
    for (const qsizetype needle : found)
        m_found[needle] = false;
    std::sort(verdict.held.begin(), verdict.held.end());
    verdict.held.erase(std::unique(verdict.held.begin(), verdict.held.end()), verdict.held.end());
    verdict.undecided = std::any_of(maybe.begin(), maybe.end(), [&](qsizetype text) {
        return !std::binary_search(verdict.held.begin(), verdict.held.end(), text);
    });
    return verdict;
}
