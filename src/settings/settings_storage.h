#pragma once

#include "settings/settings_store.h"

#include <QHash>
#include <QStringList>

#include <memory>
#include <optional>

class QSettings;

// The section "Optionen" of the per-user QSettings, with keys and the section name matched
// without regard to letter case, which QSettings on Linux does not do itself. When the existing
// file cannot be read, values live in memory only and the file is left untouched.
class SettingsStore::Storage
{
public:
    Storage();
    ~Storage();

    // The value stored under the key in any letter case, or nothing when no spelling exists.
    std::optional<QString> value(const QString &key) const;
    // Replaces the value under the spelling already stored (others are removed), or stores it
    // under `key` as spelt here when the key is new.
    void setValue(const QString &key, const QString &value);

    qsizetype keyCount() const;
    bool canSave() const;
    void sync();

private:
    struct StoredKey
    {
        QString path;           // "section/key" as spelt in the file; empty in memory-only mode
        QStringList otherPaths; // further spellings of the same key, removed on the next write
        QString value;
    };

    void readStoredKeys();

    std::unique_ptr<QSettings> m_settings; // null in memory-only mode
    QString m_section;                     // the section's spelling that new keys go into
    QHash<QString, StoredKey> m_keys;      // by case-folded key
};
