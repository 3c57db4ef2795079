#pragma once

#include <QByteArray>
#include <QString>

// Makes a folder refuse writes while the object lives: read-only, or full. Root ignores permission
// bits, so for root the folder is covered by a small file system of its own, mounted in a mount
// namespace private to this process (it goes with the process, whatever happens). For anyone else
// the permission bits make it read-only; a full disk needs root.
class FailingFolder
{
public:
    enum class Kind
    {
        ReadOnly,
        Full
    };

    FailingFolder(const QString &folder, Kind kind);
    ~FailingFolder();
    FailingFolder(const FailingFolder &) = delete;
    FailingFolder &operator=(const FailingFolder &) = delete;

    // Empty when the folder refuses writes; otherwise why it could not be made to.
    QString unavailable() const { return m_unavailable; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
    bool m_locked = false;
    QString m_unavailable;
};
