#include "find_tool/index_note.h"

#include <QDateTime>

namespace {

QString reasonText(IndexReport::Reason reason)
{
    switch (reason) {
    case IndexReport::Reason::Answered:
    case IndexReport::Reason::NoIndex:
        return QStringLiteral("there is no index");
    case IndexReport::Reason::Damaged:
        return QStringLiteral("the index is damaged ('spurwerk-index update' rebuilds it)");
    case IndexReport::Reason::Locked:
        return QStringLiteral("the index is locked");
    case IndexReport::Reason::Newer:
        return QStringLiteral("the index was written by a newer version");
    case IndexReport::Reason::Failed:
        return QStringLiteral("the index cannot be read");
    case IndexReport::Reason::NotCovered:
        return QStringLiteral("a folder is not indexed");
    case IndexReport::Reason::Unfinished:
        return QStringLiteral("the last update of a folder did not finish");
    case IndexReport::Reason::TextTooLoose:
        return QStringLiteral("the text is too short or holds characters the index does not "
                              "keep");
    case IndexReport::Reason::BadMapping:
        return QStringLiteral("its folder mapping is not valid");
    case IndexReport::Reason::MappingRefused:
        return QStringLiteral("its folder mapping was refused");
    }
    return {};
}

QString updated(qint64 ms)
{
    const qint64 minutes = (QDateTime::currentMSecsSinceEpoch() - ms) / 60000;
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
           QStringLiteral(", %1 minutes ago").arg(minutes);
}

// Which index answered, and how fresh it is: the office indexer's lag, else the last update.
QString whichIndex(const IndexReport &report)
{
    if (!report.office.used)
        return QStringLiteral("the index of ") + updated(report.updatedMs);
    if (report.office.lagMs >= 0) {
        return QStringLiteral("the office index (its indexer caught up with every change %1 s "
                              "ago)")
            .arg(double(report.office.lagMs) / 1000, 0, 'f', 1);
    }
    return QStringLiteral("the office index (no indexer watches the folders now; swept ") +
           updated(report.updatedMs) + u')';
}

QString localNote(const IndexReport &report, bool alone)
{
    if (report.reason == IndexReport::Reason::NoIndex && !alone)
        return {};
    // the index answered some passes (a where-used level) and not others
    if (report.reason != IndexReport::Reason::Answered && report.answered > 0 && !alone) {
        return QStringLiteral("answered in part with %1: %2 files read, %3 passed "
                              "over; not for every level: %4")
            .arg(whichIndex(report))
            .arg(report.read)
            .arg(report.answered)
            .arg(reasonText(report.reason));
    }
    if (report.reason != IndexReport::Reason::Answered) {
        return alone ? QStringLiteral("cannot answer from the index: ") + reasonText(report.reason)
                     : QStringLiteral("index not used: ") + reasonText(report.reason);
    }
    if (alone && report.office.used && !report.office.uncovered.isEmpty()) {
        return QStringLiteral("answered from %1 alone, except for the folders named, whose "
                              "changes its indexer is not told of")
            .arg(whichIndex(report));
    }
    if (alone)
        return report.office.used
                   ? QStringLiteral("answered from %1 alone").arg(whichIndex(report))
                   : QStringLiteral("answered from the index alone, as of its update of ") +
                         updated(report.updatedMs);
    if (report.withoutWalk) {
        const QString walked =
            report.walkedAnyway == 0
                ? QString()
                : QStringLiteral(" (but %1 whose changes its indexer is not told of)")
                      .arg(report.walkedAnyway);
        return QStringLiteral("answered with %1 without walking the folders%2: %3 files read")
            .arg(whichIndex(report), walked)
            .arg(report.read);
    }
    return QStringLiteral("answered with %1: %2 files read, %3 passed over")
        .arg(whichIndex(report))
        .arg(report.read)
        .arg(report.answered);
}

} // namespace

QString indexNote(const IndexReport &report, bool alone)
{
    QString local = localNote(report, alone);
    if (report.damagedFolders > 0) {
        local += QStringLiteral("; damaged records: the files of %1 read instead ('spurwerk-index "
                                "update' rewrites them)")
                     .arg(report.damagedFolders == 1
                              ? QStringLiteral("1 folder")
                              : QStringLiteral("%1 folders").arg(report.damagedFolders));
    }
    if (!report.office.set || report.office.used)
        return local;
    QString office = QStringLiteral("office index not used: ") + reasonText(report.office.reason);
    if (!report.office.detail.isEmpty())
        office += QStringLiteral(" (%1)").arg(report.office.detail);
    return local.isEmpty() ? office : office + QStringLiteral("; ") + local;
}
