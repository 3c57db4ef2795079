#pragma once

#include "find_tool/hit_printer.h"
#include "search/search_run.h"
#include "search/where_used.h"

#include <QByteArray>
#include <QString>

// What spurwerk-find makes of a run's reports: the hits on standard output as they come, each
// folder that could not be listed and each file that could not be read on standard error; the
// levels above the first each with its number and the names its file holds.
class FindOutput : public SearchSink, public LevelSink
{
public:
    // whereUsed: given for the levels above the first, which the hits of level 1 lead to
    FindOutput(HitPrinter &printer, const QByteArray &text, WhereUsed *whereUsed);

    bool found() const { return m_found; }
    // A folder could not be listed, a file not read, or a walk failed.
    bool troubled() const { return m_troubled; }
    void complain(const QByteArray &subject, const QString &reason);

    void folderNotListed(const QByteArray &folder, const QString &reason) override;
    void folderListedPartly(const QByteArray &folder, const QString &reason) override;
    void walkFailed(const QByteArray &folder, const FindFileError &error) override;
    void progress(const QString &status) override;
    void hit(const Candidate &candidate, const QList<qsizetype> &texts) override;
    void missed(const Candidate &candidate) override;
    void fileNotRead(const QByteArray &path, const QString &reason) override;

    void found(int level, const QByteArray &path, const QStringList &names) override;
    // what the levels before found is shown while the next one is searched
    void levelDone(int) override { m_printer.flush(); }

private:
    HitPrinter &m_printer;
    QByteArray m_text;
    WhereUsed *m_whereUsed;
    bool m_found = false;
    bool m_troubled = false;
    qint64 m_blocks = 0;
};
