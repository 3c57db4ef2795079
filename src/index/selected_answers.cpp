#include "index/selected_answers.h"

#include "index/index_location.h"

namespace {

QByteArray keyOf(const StoreSelection::File &file)
{
    return folderPrefix(file.folder) + file.name;
}

} // namespace

SelectedAnswers::SelectedAnswers(StoreSelection &store)
    : m_store(store)
{}

QList<StoreSelection::File> SelectedAnswers::listFiles(const QByteArray &folder, bool subfolders,
                                                       const QByteArray &namePattern,
                                                       const RunsMatcher *matcher)
{
    m_listings.append({folder, subfolders, namePattern});
    QList<StoreSelection::File> files;
    if (matcher) {
        select(m_listings.constLast(), matcher->needles(), &files);
    } else {
        files = m_store.everyFile(folder, subfolders, namePattern);
        // a pass over every file needs its own selection
        m_needles.reset();
    }
    for (const StoreSelection::File &file : std::as_const(files))
        m_listed.insert(keyOf(file), {file.state, file.size});
    return files;
}

void SelectedAnswers::beginPass(const RunsMatcher &matcher)
{
    if (m_needles == matcher.needles())
        return;
    m_held.clear();
    for (const Listing &listing : std::as_const(m_listings))
        select(listing, matcher.needles(), nullptr);
}

void SelectedAnswers::select(const Listing &listing, const QByteArrayList &needles,
                             QList<StoreSelection::File> *files)
{
    m_needles.reset();
    QList<StoreSelection::File> selected =
        m_store.filesHolding(listing.folder, listing.subfolders, listing.namePattern, needles);
    for (StoreSelection::File &file : selected) {
        if (!file.needles.empty())
            m_held.insert(keyOf(file), std::move(file.needles));
    }
    m_needles = needles;
    if (files)
        *files = std::move(selected);
}

std::optional<SelectedAnswers::Known> SelectedAnswers::find(const QByteArray &key,
                                                            const RunsMatcher &matcher) const
{
    const auto listed = m_listed.constFind(key);
    if (listed == m_listed.constEnd())
        return std::nullopt;
    Known known{listed->state, listed->size, {}};
    if (known.state == FileState::Recorded) {
        const auto held = m_held.constFind(key);
        known.verdict =
            matcher.verdictOn(held == m_held.constEnd() ? std::vector<qsizetype>() : *held);
    }
    return known;
}
