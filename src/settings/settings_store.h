#pragma once

#include <QString>

#include <memory>

// The program's persisted values: application "spurwerk", section "Optionen". Section and key
// names are matched without regard to letter case; values come back exactly as saved.
// Reads see the store as it was when this instance was made or last synced.
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

    // Folder entry i under the key "i"; default "/" (the root, as "C:\" is on Windows).
    QString folderEntry(int index) const;
    void setFolderEntry(int index, const QString &path);

    // Converted values, with the fallback for stored texts that do not convert.
    int sliderValue() const;     // a whole number 0 to 100, else 0
    int folderLastIndex() const; // the last entry's index, else -1 (an empty list)

    // False when an existing settings file could not be read: then nothing is ever written to it.
    bool canSave() const;
    void sync();

private:
    class Storage;
    std::unique_ptr<Storage> m_storage;
};
