#include "search/where_used.h"

#include "platform/file_lookup.h"
#include "platform/windows_1252.h"
#include "search/content_pass.h"
#include "search/name_analysis.h"
#include "search/text_forms.h"

#include <utility>

QString referenceName(const QByteArray &path)
{
    // the folders' encoding says nothing of the name's
    return Zerlege(platform::fileNameText(path.sliced(platform::nameStart(path)))).toUpper();
}

WhereUsed::WhereUsed(const QString &text)
    : m_searched{text}
{}

void WhereUsed::addCandidate(Candidate candidate)
{
    // Its folder would stay open until the last level: the later levels open it by its path.
    if (candidate.listed)
        candidate.listed->folder.reset();
    m_candidates.append(std::move(candidate));
}

void WhereUsed::addReported(const QByteArray &path)
{
    const QString name = referenceName(path);
    // a name without characters would be found in every file
    if (name.isEmpty() || m_searched.contains(name))
        return;
    m_searched.insert(name);
    m_names.append(name);
}

qsizetype WhereUsed::searchNextLevel(const Found &found, const Unreadable &unreadable,
                                     const std::function<void()> &afterEach)
{
    const QStringList names = std::exchange(m_names, {});
    if (names.isEmpty())
        return 0;
    QList<QList<QByteArray>> texts;
    for (const QString &name : names)
        texts.append(textForms(name));
    ContentSearch search(texts, ContentSearch::Goal::EveryText);

    ContentPass contentPass;
    QList<Candidate> left;
    qsizetype added = 0;
    qsizetype reported = 0;
    for (const Candidate &candidate : std::as_const(m_candidates)) {
        // the pass reads the next candidates ahead while it searches this one
        for (; added < m_candidates.size() && !contentPass.isFull(); ++added)
            contentPass.add(m_candidates.at(added).path, m_candidates.at(added).listed);
        const ContentSearchResult result = contentPass.searchNext(search);
        if (result.outcome == ContentSearchOutcome::Found) {
            QStringList held;
            for (const qsizetype text : result.texts)
                held.append(names.at(text));
            found(candidate.path, held);
            addReported(candidate.path);
            ++reported;
        } else if (result.outcome == ContentSearchOutcome::Unreadable) {
            unreadable(candidate.path, result.error);
        } else {
            left.append(candidate);
        }
        afterEach();
    }
    m_candidates = std::move(left);
    return reported;
}
