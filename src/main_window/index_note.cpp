#include "main_window/index_note.h"

#include <QDateTime>
#include <QLocale>

namespace {

QString whyNotUsed(IndexReport::Reason reason)
{
    switch (reason) {
    case IndexReport::Reason::Damaged:
        return QStringLiteral("beschädigt");
    case IndexReport::Reason::Locked:
        return QStringLiteral("gesperrt");
    case IndexReport::Reason::Newer:
        return QStringLiteral("von einer neueren Version");
    case IndexReport::Reason::NotCovered:
        return QStringLiteral("Verzeichnis nicht im Index");
    case IndexReport::Reason::Unfinished:
        return QStringLiteral("letzte Aktualisierung unvollständig");
    case IndexReport::Reason::TextTooLoose:
        return QStringLiteral("Suchtext zu kurz oder mit Zeichen außerhalb des Index");
    case IndexReport::Reason::BadMapping:
        return QStringLiteral("Verzeichniszuordnung ungültig");
    case IndexReport::Reason::MappingRefused:
        return QStringLiteral("Verzeichniszuordnung abgelehnt");
    case IndexReport::Reason::Answered:
    case IndexReport::Reason::NoIndex:
    case IndexReport::Reason::Failed:
        break;
    }
    return QStringLiteral("nicht lesbar");
}

// Which index answered, and how fresh it is.
QString whichIndex(const IndexReport &report)
{
    if (!report.office.used) {
        return QStringLiteral("Index vom ") + QDateTime::fromMSecsSinceEpoch(report.updatedMs)
                                                  .toString(QStringLiteral("dd.MM.yyyy HH:mm"));
    }
    if (report.office.lagMs < 0)
        return QStringLiteral("Büro-Index ohne laufenden Indexdienst");
    const double seconds = double(report.office.lagMs) / 1000;
    return QStringLiteral("Büro-Index, Stand vor %1 s")
        .arg(QLocale(QLocale::German).toString(seconds, 'f', 1));
}

QString localNote(const IndexReport &report)
{
    if (report.reason == IndexReport::Reason::NoIndex)
        return {};
    if (report.reason != IndexReport::Reason::Answered)
        return QStringLiteral("Index nicht verwendet: ") + whyNotUsed(report.reason);
    // the file list came from the index: the folders were not gone through
    QString listed;
    if (report.withoutWalk)
        listed = QStringLiteral(", Dateiliste aus dem Index");
    // the folders whose changes the indexer is not told of were gone through all the same
    if (report.walkedAnyway == 1)
        listed += QStringLiteral(" außer einem Verzeichnis ohne Änderungsmeldung");
    else if (report.walkedAnyway > 1)
        listed += QStringLiteral(" außer %1 Verzeichnissen ohne Änderungsmeldung")
                      .arg(report.walkedAnyway);
    return QStringLiteral("%1%2: %3 von %4 Dateien gelesen")
        .arg(whichIndex(report), listed)
        .arg(report.read)
        .arg(report.read + report.answered);
}

} // namespace

QString indexNote(const IndexReport &report)
{
    QString local = localNote(report);
    if (report.damagedFolders > 0) {
        local += QStringLiteral("; Index beschädigt für %1, dort alle Dateien gelesen")
                     .arg(report.damagedFolders == 1
                              ? QStringLiteral("1 Verzeichnis")
                              : QStringLiteral("%1 Verzeichnisse").arg(report.damagedFolders));
    }
    if (!report.office.set || report.office.used)
        return local;
    QString office = QStringLiteral("Büro-Index nicht verwendet: ") +
                     (report.office.reason == IndexReport::Reason::NoIndex
                          ? QStringLiteral("kein Index auf dem Server")
                          : whyNotUsed(report.office.reason));
    if (!report.office.detail.isEmpty())
        office += QStringLiteral(" (%1)").arg(report.office.detail);
    return local.isEmpty() ? office : office + QStringLiteral("; ") + local;
}
