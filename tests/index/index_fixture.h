#pragma once

#include "index/index_filter.h"
#include "search/search_run.h"
#include "test_tree.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QTemporaryDir>
#include <functional>

// What a run answers, paths relative to the tree: what a front end could show of it.
struct RunAnswer
{
    QByteArrayList hits;
    QByteArrayList notRead;
    QByteArrayList notListed;
    QByteArrayList searched; // "path index/count" for each candidate the content pass takes
    QStringList status;      // the progress texts

    bool operator==(const RunAnswer &) const = default;
};

char *toString(const RunAnswer &answer);

// A test tree and an index of it in a folder of its own.
class IndexFixture
{
public:
    IndexFixture();

    TestTree tree;
    // the office index's connection string; empty: the index lies in the file below
    QByteArray server;
    // called when a run has opened the index, before it walks: to make the server fail meanwhile
    std::function<void()> indexOpened;
    QByteArray indexFile() const { return m_cache.path().toLocal8Bit() + "/index.sqlite"; }

    // Brings the index of the tree's root up to date; a change after it shows in its signature.
    void update();
    // A run over the tree's root for the text in all its forms, with the index or without. One
    // level runs as `spurwerk-find`; more run as the windows and `--levels` do: every candidate
    // heard of, the levels after the first with their hits as in answerAlone.
    RunAnswer run(const QString &text, bool indexed, IndexReport *report = nullptr,
                  int levels = 1) const;
    // As `spurwerk-find --from-index --levels LEVELS` over the tree's root; hits of the levels
    // after the first as "LEVEL path NAMES". Not selecting: a store that selects files itself
    // is asked only for its records.
    RunAnswer answerAlone(const QString &text, int levels, bool selecting,
                          IndexReport *report = nullptr) const;

private:
    QTemporaryDir m_cache;
};
