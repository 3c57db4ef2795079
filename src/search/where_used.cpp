#include "search/where_used.h"

#include "platform/file_lookup.h"
#include "platform/windows_1252.h"
#include "search/name_analysis.h"
#include "search/text_forms.h"

#include <functional>
#include <utility>

namespace {

// What a level's search tells: the found files and those left go to the levels, the rest to the
// front end's sink.
class LevelPass : public SearchSink
{
public:
    LevelPass(SearchSink &frontEnd,
              std::function<void(const Candidate &, const QList<qsizetype> &)> found,
              QList<Candidate> &left)
        : m_frontEnd(frontEnd)
        , m_found(std::move(found))
        , m_left(left)
    {}

    void searching(const QByteArray &path, qint64 index, qint64 count) override
    {
        m_frontEnd.searching(path, index, count);
    }
    void progress(const QString &status) override { m_frontEnd.progress(status); }
    void hit(const Candidate &candidate, const QList<qsizetype> &texts) override
    {
        m_found(candidate, texts);
    }
    void missed(const Candidate &candidate) override { m_left.append(candidate); }
    void fileNotRead(const QByteArray &path, const QString &reason) override
    {
        m_frontEnd.fileNotRead(path, reason);
    }
    void idle() override { m_frontEnd.idle(); }

private:
    SearchSink &m_frontEnd;
    std::function<void(const Candidate &, const QList<qsizetype> &)> m_found;
    QList<Candidate> &m_left;
};

} // namespace

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
    addName(referenceName(path));
}

void WhereUsed::addName(const QString &name)
{
    // a name without characters would be found in every file
    if (name.isEmpty() || m_searched.contains(name))
        return;
    m_searched.insert(name);
    m_names.append(name);
}

int WhereUsed::searchLevels(SearchRun &run, SearchSink &sink, LevelSink &levels, int first,
                            int last)
{
    int level = first;
    for (; last == 0 || level <= last; ++level) {
        const QStringList names = std::exchange(m_names, {});
        if (names.isEmpty())
            break;
        QList<QList<QByteArray>> texts;
        for (const QString &name : names)
            texts.append(textForms(name));

        // most of them miss: room for all, taken once
        QList<Candidate> left;
        left.reserve(m_candidates.size());
        qsizetype reported = 0;
        LevelPass levelPass(
            sink,
            [&](const Candidate &candidate, const QList<qsizetype> &held) {
                QStringList heldNames;
                for (const qsizetype text : held)
                    heldNames.append(names.at(text));
                levels.found(level, candidate.path, heldNames);
                addReported(candidate.path);
                ++reported;
            },
            left);
        const QList<Candidate> candidates = std::exchange(m_candidates, {});
        if (run.searchAgain(candidates, texts, ContentSearch::Goal::EveryText, levelPass) ==
            RunOutcome::Stopped)
            break;
        m_candidates = std::move(left);
        if (reported == 0)
            break;
        levels.levelDone(level);
    }
    return level;
}
