#pragma once

#include <QString>

// The notes are stored with CR LF line breaks; the text field works with LF.
QString notesForDisplay(const QString &storedNotes);
QString notesForStore(const QString &displayedNotes);
