#pragma once

#include "settings/save_result.h"
#include "settings/settings_store.h"

#include <QHash>
#include <QStringList>
#include <QVariant>

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
    // The same as bytes: a value stored as bytes comes back unchanged, text in the local encoding.
    std::optional<QByteArray> bytes(const QString &key) const;
    // Replaces the value (a text, or bytes) under the spelling already stored (others are
    // removed), or stores it under `key` as spelt here when the key is new.
    void setValue(const QString &key, const QVariant &value);

    qsizetype keyCount() const;
    bool canSave() const;
    SaveResult sync();

private:
    struct StoredKey
    {
        QString path;           // "section/key" as spelt in the file; empty in memory-only mode
        QStringList otherPaths; // further spellings of the same key, removed on the next write
        QVariant value;         // a text, or bytes
    };

    void readStoredKeys();
    qint64 approximateFileSize() const;

    std::unique_ptr<QSettings> m_settings; // null in memory-only mode
    bool m_writeFailed = false;            // the last sync could not write the file
    QString m_section;                     // the section's spelling that new keys go into
    QHash<QString, StoredKey> m_keys;      // by case-folded key
};
