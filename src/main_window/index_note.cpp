#include "main_window/index_note.h"

#include <QDateTime>

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
    case IndexReport::Reason::Answered:
    case IndexReport::Reason::NoIndex:
    case IndexReport::Reason::Failed:
        break;
    }
    return QStringLiteral("nicht lesbar");
}

} // namespace

QString indexNote(const IndexReport &report)
{
    if (report.reason == IndexReport::Reason::NoIndex)
        return {};
    if (report.reason != IndexReport::Reason::Answered)
        return QStringLiteral("Index nicht verwendet: ") + whyNotUsed(report.reason);
    return QStringLiteral("Index vom %1: %2 von %3 Dateien gelesen")
        .arg(QDateTime::fromMSecsSinceEpoch(report.updatedMs)
                 .toString(QStringLiteral("dd.MM.yyyy HH:mm")))
        .arg(report.read)
        .arg(report.read + report.answered);
}
