#include "index/index_note.h"

#include <QDateTime>
#include <QLocale>
#include <iterator>

namespace {

// Silent: there is no index at all; AnsweredInPart: some passes (a where-used level) and not
// others; AnsweredAlone: the files named from the records alone, none read.
enum class Use
{
    Silent,
    NotUsed,
    AnsweredInPart,
    AnsweredAlone,
    Answered
};

Use indexUse(const IndexReport &report, bool alone)
{
    if (report.reason == IndexReport::Reason::NoIndex && !alone)
        return Use::Silent;
    if (report.reason != IndexReport::Reason::Answered)
        return report.answered > 0 && !alone ? Use::AnsweredInPart : Use::NotUsed;
    return alone ? Use::AnsweredAlone : Use::Answered;
}

// Why the index was not used: a row for each IndexReport::Reason in its order, a column for each
// NoteLanguage.
constexpr const char *whyNotUsedWords[][2] = {
    {"nicht lesbar", "there is no index"},
    {"nicht lesbar", "there is no index"},
    {"beschädigt", "the index is damaged ('spurwerk-index update' rebuilds it)"},
    {"gesperrt", "the index is locked"},
    {"von einer neueren Version", "the index was written by a newer version"},
    {"nicht lesbar", "the index cannot be read"},
    {"Verzeichnis nicht im Index", "a folder is not indexed"},
    {"letzte Aktualisierung unvollständig", "the last update of a folder did not finish"},
    {"Suchtext zu kurz oder mit Zeichen außerhalb des Index",
     "the text is too short or holds characters the index does not keep"},
    {"Verzeichniszuordnung ungültig", "its folder mapping is not valid"},
    {"Verzeichniszuordnung abgelehnt", "its folder mapping was refused"},
};
static_assert(std::size(whyNotUsedWords) == qsizetype(IndexReport::Reason::MappingRefused) + 1);

QString whyNotUsed(IndexReport::Reason reason, NoteLanguage language)
{
    return QString::fromUtf8(whyNotUsedWords[qsizetype(reason)][qsizetype(language)]);
}

QString updated(qint64 ms)
{
    const qint64 minutes = (QDateTime::currentMSecsSinceEpoch() - ms) / 60000;
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
           QStringLiteral(", %1 minutes ago").arg(minutes);
}

// Which index answered, and how fresh it is: the office indexer's lag, else the last update.
QString whichIndex(const IndexReport &report, NoteLanguage language)
{
    const bool german = language == NoteLanguage::German;
    if (!report.office.used) {
        return german ? QStringLiteral("Index vom ") +
                            QDateTime::fromMSecsSinceEpoch(report.updatedMs)
                                .toString(QStringLiteral("dd.MM.yyyy HH:mm"))
                      : QStringLiteral("the index of ") + updated(report.updatedMs);
    }
    if (report.office.lagMs < 0) {
        return german ? QStringLiteral("Büro-Index ohne laufenden Indexdienst")
                      : QStringLiteral("the office index (no indexer watches the folders now; "
                                       "swept ") +
                            updated(report.updatedMs) + u')';
    }
    const double seconds = double(report.office.lagMs) / 1000;
    return german ? QStringLiteral("Büro-Index, Stand vor %1 s")
                        .arg(QLocale(QLocale::German).toString(seconds, 'f', 1))
                  : QStringLiteral("the office index (its indexer caught up with every change "
                                   "%1 s ago)")
                        .arg(seconds, 0, 'f', 1);
}

// The folder line has no room for a part answer: it tells why the index did not answer whole.
QString germanNote(const IndexReport &report)
{
    constexpr NoteLanguage german = NoteLanguage::German;
    switch (indexUse(report, false)) {
    case Use::Silent:
        return {};
    case Use::NotUsed:
    case Use::AnsweredInPart:
        return QStringLiteral("Index nicht verwendet: ") + whyNotUsed(report.reason, german);
    case Use::AnsweredAlone:
    case Use::Answered:
        break;
    }
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
        .arg(whichIndex(report, german), listed)
        .arg(report.read)
        .arg(report.read + report.answered);
}

QString englishNote(const IndexReport &report, bool alone)
{
    constexpr NoteLanguage english = NoteLanguage::English;
    switch (indexUse(report, alone)) {
    case Use::Silent:
        return {};
    case Use::AnsweredInPart:
        return QStringLiteral("answered in part with %1: %2 files read, %3 passed "
                              "over; not for every level: %4")
            .arg(whichIndex(report, english))
            .arg(report.read)
            .arg(report.answered)
            .arg(whyNotUsed(report.reason, english));
    case Use::NotUsed:
        return (alone ? QStringLiteral("cannot answer from the index: ")
                      : QStringLiteral("index not used: ")) +
               whyNotUsed(report.reason, english);
    case Use::AnsweredAlone:
        if (!report.office.used) {
            return QStringLiteral("answered from the index alone, as of its update of ") +
                   updated(report.updatedMs);
        }
        return report.office.uncovered.isEmpty()
                   ? QStringLiteral("answered from %1 alone").arg(whichIndex(report, english))
                   : QStringLiteral("answered from %1 alone, except for the folders named, "
                                    "whose changes its indexer is not told of")
                         .arg(whichIndex(report, english));
    case Use::Answered:
        break;
    }
    if (report.withoutWalk) {
        const QString walked =
            report.walkedAnyway == 0
                ? QString()
                : QStringLiteral(" (but %1 whose changes its indexer is not told of)")
                      .arg(report.walkedAnyway);
        return QStringLiteral("answered with %1 without walking the folders%2: %3 files read")
            .arg(whichIndex(report, english), walked)
            .arg(report.read);
    }
    return QStringLiteral("answered with %1: %2 files read, %3 passed over")
        .arg(whichIndex(report, english))
        .arg(report.read)
        .arg(report.answered);
}

} // namespace

QString indexNote(const IndexReport &report, NoteLanguage language, bool alone)
{
    const bool german = language == NoteLanguage::German;
    QString local = german ? germanNote(report) : englishNote(report, alone);
    if (const qint64 folders = report.damagedFolders; folders > 0) {
        local += german ? QStringLiteral("; Index beschädigt für %1, dort alle Dateien gelesen")
                              .arg(folders == 1 ? QStringLiteral("1 Verzeichnis")
                                                : QStringLiteral("%1 Verzeichnisse").arg(folders))
                        : QStringLiteral("; damaged records: the files of %1 read instead "
                                         "('spurwerk-index update' rewrites them)")
                              .arg(folders == 1 ? QStringLiteral("1 folder")
                                                : QStringLiteral("%1 folders").arg(folders));
    }
    if (!report.office.set || report.office.used)
        return local;
    QString office = (german ? QStringLiteral("Büro-Index nicht verwendet: ")
                             : QStringLiteral("office index not used: ")) +
                     (german && report.office.reason == IndexReport::Reason::NoIndex
                          ? QStringLiteral("kein Index auf dem Server")
                          : whyNotUsed(report.office.reason, language));
    if (!report.office.detail.isEmpty())
        office += QStringLiteral(" (%1)").arg(report.office.detail);
    return local.isEmpty() ? office : office + QStringLiteral("; ") + local;
}
