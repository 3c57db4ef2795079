#include "index/runs_matcher.h"

#include "index/file_record.h"

#include <QHash>
#include <algorithm>

RunsMatcher::RunsMatcher(const QList<QList<QByteArray>> &texts)
{
    QByteArrayList &needles = m_needles;
    QHash<QByteArray, qsizetype> needleIndex;
    // the forms of each needle, gathered as pairs and then laid out needle by needle: a level of
    // the where-used search brings tens of thousands of names
    std::vector<std::pair<qsizetype, qsizetype>> needleOfForm;
    for (qsizetype text = 0; text < texts.size(); ++text) {
        for (const QByteArray &form : texts.at(text)) {
            const qsizetype formIndex = qsizetype(m_forms.size());
            Form entry{text, isAnsweredExactly(form), qsizetype(m_formNeedles.size()), 0};
            for (const QByteArray &piece : namePieces(form)) {
                auto known = needleIndex.constFind(piece);
                if (known == needleIndex.constEnd()) {
                    known = needleIndex.insert(piece, needles.size());
                    needles.append(piece);
                }
                m_formNeedles.push_back(*known);
                needleOfForm.emplace_back(*known, formIndex);
            }
            entry.needlesEnd = qsizetype(m_formNeedles.size());
            m_exact = m_exact && entry.exact;
            if (entry.needlesStart == entry.needlesEnd)
                m_textsWithoutPieces.append(text);
            m_forms.push_back(entry);
        }
    }
    m_formsOfNeedleStart.assign(needles.size() + 1, 0);
    for (const auto &[needle, form] : needleOfForm)
        ++m_formsOfNeedleStart[needle + 1];
    for (qsizetype needle = 0; needle < needles.size(); ++needle)
        m_formsOfNeedleStart[needle + 1] += m_formsOfNeedleStart[needle];
    m_formsOfNeedle.resize(needleOfForm.size());
    std::vector<qsizetype> next(m_formsOfNeedleStart.begin(), m_formsOfNeedleStart.end() - 1);
    for (const auto &[needle, form] : needleOfForm)
        m_formsOfNeedle[next[needle]++] = form;
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
    // gathered in memory kept from file to file, and handed out in one piece
    std::vector<qsizetype> &held = m_held;
    held.clear();
    std::vector<qsizetype> &maybe = m_maybe;
    maybe.assign(m_textsWithoutPieces.begin(), m_textsWithoutPieces.end());
    for (const qsizetype needle : found) {
        for (qsizetype index = m_formsOfNeedleStart[needle];
             index < m_formsOfNeedleStart[needle + 1]; ++index) {
            const Form &form = m_forms[m_formsOfNeedle[index]];
            if (!std::all_of(m_formNeedles.begin() + form.needlesStart,
                             m_formNeedles.begin() + form.needlesEnd,
                             [this](qsizetype other) { return bool(m_found[other]); }))
                continue;
            if (form.exact)
                held.push_back(form.text);
            else
                maybe.push_back(form.text);
        }
    }
    for (const qsizetype needle : found)
        m_found[needle] = false;
    std::sort(held.begin(), held.end());
    held.erase(std::unique(held.begin(), held.end()), held.end());
    Verdict verdict;
    verdict.held = QList<qsizetype>(held.begin(), held.end());
    verdict.undecided = std::any_of(maybe.begin(), maybe.end(), [&](qsizetype text) {
        return !std::binary_search(held.begin(), held.end(), text);
    });
    return verdict;
}
