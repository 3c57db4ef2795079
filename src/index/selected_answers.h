#pragma once

#include "index/runs_matcher.h"
#include "index/store_selection.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <optional>
#include <utility>
#include <vector>

// Answers from the index alone through a store that selects files itself: per pass (a where-used
// level) one question for the files that may hold its texts, instead of every record of the
// tree. A listed file the store did not select for the pass holds none of its needles.
class SelectedAnswers
{
public:
    explicit SelectedAnswers(StoreSelection &store);

    // The recorded files of the folder (a key of the store), with subfolders also those under
    // it, that the passes will ask about: those whose names match namePattern, and some that do
    // not. With a matcher, only those that may hold its texts or that are not Recorded, selected
    // for its pass at once.
    QList<StoreSelection::File> listFiles(const QByteArray &folder, bool subfolders,
                                          const QByteArray &namePattern,
                                          const RunsMatcher *matcher);
    // A pass begins: selects the files that may hold the matcher's texts, unless they were
    // selected for the same needles already.
    void beginPass(const RunsMatcher &matcher);

    struct Known
    {
        FileState state = FileState::AlwaysRead;
        qint64 size = 0;
        RunsMatcher::Verdict verdict; // only when Recorded
    };
    // What the index tells of a listed file (key: its path as the store keys it); none when it
    // was not listed.
    std::optional<Known> find(const QByteArray &key, const RunsMatcher &matcher) const;

private:
    struct Listed
    {
        FileState state = FileState::AlwaysRead;
        qint64 size = 0;
    };
    struct Listing
    {
        QByteArray folder;
        bool subfolders = false;
        QByteArray namePattern;
    };
    void select(const Listing &listing, const QByteArrayList &needles,
                QList<StoreSelection::File> *files);

    StoreSelection &m_store;
    QList<Listing> m_listings;
    QHash<QByteArray, Listed> m_listed;
    // the needles of the files selected, and the needles each of them holds
    std::optional<QByteArrayList> m_needles;
    QHash<QByteArray, std::vector<qsizetype>> m_held;
};
