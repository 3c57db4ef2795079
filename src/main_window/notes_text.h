#pragma once

#include <QString>

// The notes are stored with CR LF line breaks. The text field takes them with LF and gives them
// back from its document's raw text, where a line break is a paragraph separator: its plain text
// would turn no-break spaces into blanks and line separators into line breaks.
QString notesForDisplay(const QString &storedNotes);
QString notesForStore(const QString &rawDocumentText);
