#pragma once

#include <QString>
#include <QStringList>

// The notes are stored as one text with CR LF line breaks. A text field's document spends time
// and memory on every paragraph, so notes of many short lines would take seconds and hundreds of
// megabytes to show (bench/README.md); the pad therefore takes the stored lines as line separators
// inside paragraphs of a few dozen lines, which it shows and edits as line breaks as well. Notes
// that hold line separators of their own get a paragraph per line instead, so that those come
// back as they were stored. Saving reads the document's raw text, whose plain text would turn
// no-break spaces into blanks.
struct NotesForDisplay
{
    QString text;
    bool lineSeparatorsAreBreaks = false;
};

NotesForDisplay notesForDisplay(const QString &storedNotes);
QString notesForStore(const QString &rawDocumentText, bool lineSeparatorsAreBreaks);

// What taking lines into the pad appends to its text: each line after a line break ("\n", a
// paragraph break to the document), except while the pad is still empty, which the first
// non-empty line starts without one.
QString takenLines(bool padIsEmpty, const QStringList &lines);

// The stored notes with the lines added at their end, for a window that takes lines into the pad
// while the main window is not open.
QString storedNotesWith(const QString &storedNotes, const QStringList &lines);
