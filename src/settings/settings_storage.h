#pragma once

#include "settings/ini_document.h"
#include "settings/save_result.h"
#include "settings/settings_store.h"

#include <QHash>
#include <QList>

#include <optional>

// The section "Optionen" of the per-user settings file, with keys and the section name matched
// without regard to letter case. The file is read and written here rather than through QSettings,
// which would turn bytes that are not UTF-8 into replacement characters and write every value
// anew: here a value nobody changed is written back as the file spelt it. When the existing
// file cannot be read, values live in memory only and the file is left untouched.
// Several copies of the program may share the file: a save writes only the values this copy
// changed, into the file as it is at that moment, and leaves a value that another copy changed
// meanwhile as that copy saved it.
class SettingsStore::Storage
{
public:
    Storage();

    // The value stored under the key in any letter case, or nothing when no spelling exists.
    std::optional<QString> value(const QString &key) const;
    // The same as bytes: those of a value stored as bytes, else the text's.
    std::optional<QByteArray> bytes(const QString &key) const;
    // Replaces the value under the spelling already stored (others are removed), or stores it
    // under `key` as spelt here when the key is new. A value equal to the file's keeps the
    // file's spelling.
    void setValue(const QString &key, const QString &text);
    void setBytes(const QString &key, const QByteArray &bytes);

    qsizetype keyCount() const { return m_places.size(); }
    QString fileName() const { return m_fileName; }
    QString readProblem() const { return m_readProblem; }
    // Writes the values changed since the last sync. With a conflict, the keys left out are
    // named in the result case-folded, the folder list as a whole by "anzi".
    SaveResult sync();
    // The file as it would be with every value of this copy: what the last sync could not write.
    QByteArray unsavedContents() const { return ini::written(unsavedSections()); }
    // The value under the key in that file.
    std::optional<QString> unsavedValue(const QString &key) const;

private:
    struct Place
    {
        QString section;
        QString key;
    };
    // By case-folded key, the places of its spellings in the section "Optionen" in any letter
    // case, in name order. The first one counts.
    using Places = QHash<QString, QList<Place>>;

    struct FileContents
    {
        std::optional<ini::Sections> sections; // none when the file could not be read
        QString problem;                       // why it could not be read
    };

    static Places placesIn(const ini::Sections &sections);
    FileContents readFile() const;
    SaveResult mergeAndWrite();
    const ini::Sections &unsavedSections() const;
    std::optional<QByteArray> spelt(const ini::Sections &sections, const QString &key) const;
    void set(const QString &key, const QByteArray &spelt);
    void takeSections(const ini::Sections &sections);

    QString m_fileName;
    QByteArray m_path;
    QString m_readProblem; // why the existing file could not be read: then it is never written
    // As this copy knows the file: as it read it, with what it wrote since.
    ini::Sections m_fileSections;
    ini::Sections m_sections; // m_fileSections with the values set since
    Places m_places;          // of m_sections
    QString m_section;        // the section's spelling that new keys go into
    // After a sync that left values of this copy out for another's: the file with them, to
    // rescue them. Empty otherwise.
    ini::Sections m_outvoted;
};
