#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The per-user settings file in the tests' isolated location, read and written behind the
// store's back.
class SettingsFile
{
public:
    // False unless XDG_CONFIG_HOME points away from the real home folder.
    static bool isIsolated();
    static QString path();

    // Removes the file, or whatever stands in its place.
    static void remove();
    static void write(const QByteArray &content);
    static QByteArray read();

    // Keys of the file as "section/key", spelt as stored, and one key's value, as QSettings reads
    // them.
    static QStringList storedKeys();
    static std::optional<QString> storedValue(const QString &sectionAndKey);
};
