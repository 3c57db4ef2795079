#pragma once

#include "settings/rescue_file.h"
#include "settings/save_result.h"

#include <QByteArray>
#include <QString>

#include <memory>

// The program's persisted values: section "Optionen" of the file spurwerk/spurwerk.conf in the
// user's config folder ($XDG_CONFIG_HOME, else ~/.config). Section and key names are matched
// without regard to letter case; values come back exactly as saved. Reads see the store as it was
// when this instance was made, with the values set since: what another copy of the program saved
// meanwhile is kept in the file, not shown here.
class SettingsStore
{
public:
    enum class Key
    {
        SliderValue,
        SearchText,
        Notes,
        FolderLastIndex
    };

    SettingsStore();
    ~SettingsStore();

    // The stored text, or the key's default when the key does not exist.
    QString value(Key key) const;
    void setValue(Key key, const QString &value);

    // Folder entry i under the key "i", as the path's bytes; default "/" (the root, as "C:\" is
    // on Windows).
    QByteArray folderEntry(int index) const;
    // A path that is not valid UTF-8 (a Latin-1 name on an old share) is stored as its own bytes,
    // so that it comes back byte for byte.
    void setFolderEntry(int index, const QByteArray &path);

    // Converted values, with the fallback for stored texts that do not convert.
    int sliderValue() const;     // a whole number 0 to 100, else 0
    int folderLastIndex() const; // the last entry's index, else -1 (an empty list)

    // False when an existing settings file could not be read: then nothing is ever written to it.
    bool canSave() const;
    // Why, in a sentence for the user; empty when it could be read or there is none.
    QString readProblem() const;
    // Writes the values changed since the last sync into the file as it is now, beside what
    // another copy of the program saved meanwhile; what was not written stays in this store for
    // a later try. A value that another copy changed too since this one read it stays as that
    // copy saved it (Conflict); this store then shows that copy's value, and rescue() keeps this
    // one's. Nothing is written implicitly.
    SaveResult sync();
    // Writes what sync() could not to a file of its own, for the user to take it from there.
    RescueResult rescue() const;

private:
    class Storage;
    std::unique_ptr<Storage> m_storage;
};
