#pragma once

#include <QByteArray>
#include <QString>

// Where the settings went that could not be saved, or why nowhere.
struct RescueResult
{
    QString fileName; // the file written; empty when none could be
    QString failure;  // otherwise why not

    // Where the values are now, or that they are lost, in a sentence for the user.
    QString report() const;
};

// Writes settings that could not be saved to a new file, never over an existing one: beside the
// settings file, or when that fails in the user's state folder ($XDG_STATE_HOME/spurwerk/, by
// default ~/.local/state/spurwerk/). It is itself a settings file that can take the old one's
// place; comment lines at its top say so and show the notes (when not empty) line by line, for
// reading. UTF-8, like the settings; a value the settings file held in another encoding keeps it.
RescueResult writeRescueFile(const QString &settingsFile, const QString &notes,
                             const QByteArray &settings);
