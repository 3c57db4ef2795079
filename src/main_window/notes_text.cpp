#include "main_window/notes_text.h"

QString notesForDisplay(const QString &storedNotes)
{
    QString text = storedNotes;
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString notesForStore(const QString &displayedNotes)
{
    QString text = displayedNotes;
    return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}
