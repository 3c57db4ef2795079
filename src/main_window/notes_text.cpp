#include "main_window/notes_text.h"

QString notesForDisplay(const QString &storedNotes)
{
    QString text = storedNotes;
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString notesForStore(const QString &rawDocumentText)
{
    QString text = rawDocumentText;
    return text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
}
