#pragma once

#include "search/multi_byte_search.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QList>
#include <optional>
#include <vector>

// Tells from a file's recorded runs which of a pass's texts it holds. A form made of name bytes
// alone is held exactly when one run holds it; of any other form the runs can only tell that it
// is not held, when one of its pieces is missing.
class RunsMatcher
{
public:
    // texts: each in the byte forms a file may hold it in
    explicit RunsMatcher(const QList<QList<QByteArray>> &texts);

    // Every form of every text is answered exactly.
    bool isExact() const { return m_exact; }
    // Every form has a piece the runs can miss: without one, every file may hold it.
    bool canRuleOut() const { return m_textsWithoutPieces.isEmpty(); }

    struct Verdict
    {
        QList<qsizetype> held;  // the texts held, ascending
        bool undecided = false; // a text not held may still be: only a read tells
    };
    Verdict match(QByteArrayView runs) const;

    // The pieces a file's runs must hold, each once: a store that searches the runs itself
    // tells which of them a file holds, by their indexes here.
    const QByteArrayList &needles() const { return m_needles; }
    // The verdict on a file whose runs hold exactly these needles (each once, in any order).
    Verdict verdictOn(const std::vector<qsizetype> &found) const;

private:
    struct Form
    {
        qsizetype text = 0;
        bool exact = false;
        // its needles in m_formNeedles: every one must be in the runs
        qsizetype needlesStart = 0;
        qsizetype needlesEnd = 0;
    };

    std::vector<Form> m_forms;
    std::vector<qsizetype> m_formNeedles;
    QByteArrayList m_needles;
    // the forms of needle n: m_formsOfNeedle from m_formsOfNeedleStart[n] to the start of n + 1
    std::vector<qsizetype> m_formsOfNeedleStart;
    std::vector<qsizetype> m_formsOfNeedle;
    QList<qsizetype> m_textsWithoutPieces;
    bool m_exact = true;
    std::optional<MultiByteSearch> m_search;
    // reused from file to file: per needle whether it was found, the needles found, the texts
    // held and those that may be
    mutable std::vector<bool> m_found;
    mutable std::vector<qsizetype> m_foundList;
    mutable std::vector<qsizetype> m_held;
    mutable std::vector<qsizetype> m_maybe;
};
