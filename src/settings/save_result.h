#pragma once

#include <QString>
#include <QStringList>

// What became of writing the settings to their file: written, or why not, so that whoever saved can
// tell the user and keep what was not saved.
struct SaveResult
{
    enum class Outcome
    {
        Saved,
        Refused,    // the existing file could not be read, so it is left as it was
        NotWritten, // the system refused the write
        Conflict,   // saved, except values that another copy of the program changed meanwhile
    };

    Outcome outcome = Outcome::Saved;
    QString fileName; // the settings file, when it was not saved
    int error = 0;    // the errno behind NotWritten; 0 when the cause is not known
    // With Conflict, the values left as the other copy saved them, named for the user
    QStringList conflicting = {};

    bool saved() const { return outcome == Outcome::Saved; }
    // Why nothing was saved, in a sentence for the user; empty when it was.
    QString reason() const;
};
