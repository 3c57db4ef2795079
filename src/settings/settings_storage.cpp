#include "settings/settings_storage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryFile>

#include <cerrno>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const QString applicationName = QStringLiteral("spurwerk");
const QString sectionName = QStringLiteral("Optionen");

// The per-user file alone: the default constructor would also read organisation-wide and
// system-wide files, and a broken one of those must not stop this file from being saved.
QString userSettingsLocation()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, applicationName,
                     applicationName)
        .fileName();
}

QString folded(const QString &name)
{
    return name.toCaseFolded();
}

// Only a file that exists and cannot be opened or parsed is unreadable; on Windows the settings
// live in the registry and the location names no file. A private copy is parsed because
// QSettings shares one parsed file per process and reports a parse error only to the instance
// that parsed it first.
bool existingFileUnreadable(const QString &location)
{
    QFile file(location);
    if (!file.exists())
        return false;
    if (!file.open(QIODevice::ReadOnly))
        return true;
    QTemporaryFile copy;
    if (!copy.open() || copy.write(file.readAll()) < 0 || !copy.flush())
        return true;
    return QSettings(copy.fileName(), QSettings::NativeFormat).status() != QSettings::NoError;
}

// QSettings reads an unquoted hand-written value with commas as a list and "@ByteArray(...)" as
// bytes; every text this program writes comes back as a plain string.
QString storedText(const QVariant &stored)
{
    switch (stored.typeId()) {
    case QMetaType::QStringList:
        return stored.toStringList().join(QLatin1String(", "));
    case QMetaType::QByteArray:
        return QString::fromUtf8(stored.toByteArray());
    default:
        return stored.toString();
    }
}

// QSettings says only that a write failed. The causes a user can act on: no permission or a
// read-only file system where the file goes, or a disk without room for it.
int writeFailureCause(const QString &fileName, qint64 bytesToWrite)
{
    // QSettings creates missing folders: the nearest one that exists is where it failed.
    QString folder = QFileInfo(fileName).absolutePath();
    while (!QFileInfo::exists(folder) && folder != QDir::rootPath())
        folder = QFileInfo(folder).absolutePath();
    const QByteArray folderPath = QFile::encodeName(folder);
    if (::access(folderPath.constData(), W_OK) != 0)
        return errno;
    if (QFileInfo::exists(fileName) && ::access(QFile::encodeName(fileName).constData(), W_OK) != 0)
        return errno;
    struct statvfs space = {};
    if (::statvfs(folderPath.constData(), &space) == 0 &&
        qint64(space.f_bavail) * qint64(space.f_frsize) < bytesToWrite)
        return ENOSPC;
    return 0;
}

} // namespace

SettingsStore::Storage::Storage()
    : m_settings(std::make_unique<QSettings>(userSettingsLocation(), QSettings::NativeFormat))
    , m_section(sectionName)
{
    if (m_settings->status() != QSettings::NoError ||
        existingFileUnreadable(m_settings->fileName())) {
        // QSettings treats such a file as empty and would replace it on the next save.
        m_settings.reset();
        return;
    }
    readStoredKeys();
}

SettingsStore::Storage::~Storage() = default;

std::optional<QString> SettingsStore::Storage::value(const QString &key) const
{
    const auto stored = m_keys.constFind(folded(key));
    if (stored == m_keys.cend())
        return std::nullopt;
    return storedText(stored->value);
}

std::optional<QByteArray> SettingsStore::Storage::bytes(const QString &key) const
{
    const auto stored = m_keys.constFind(folded(key));
    if (stored == m_keys.cend())
        return std::nullopt;
    if (stored->value.typeId() == QMetaType::QByteArray)
        return stored->value.toByteArray();
    return storedText(stored->value).toLocal8Bit();
}

void SettingsStore::Storage::setValue(const QString &key, const QVariant &value)
{
    StoredKey &stored = m_keys[folded(key)];
    stored.value = value;
    if (!m_settings)
        return;
    if (stored.path.isEmpty())
        stored.path = m_section + QLatin1Char('/') + key;
    for (const QString &otherPath : std::as_const(stored.otherPaths))
        m_settings->remove(otherPath);
    stored.otherPaths.clear();
    m_settings->setValue(stored.path, value);
}

qsizetype SettingsStore::Storage::keyCount() const
{
    return m_keys.size();
}

bool SettingsStore::Storage::canSave() const
{
    return m_settings != nullptr;
}

SaveResult SettingsStore::Storage::sync()
{
    if (!m_settings)
        return {SaveResult::Outcome::Refused, userSettingsLocation()};
    if (m_writeFailed) {
        // Once a write failed, QSettings reports the error after every later sync, also after
        // one that wrote. A fresh one, made while the old one lives, shares the changes that
        // were not written and writes them as it starts.
        m_settings = std::make_unique<QSettings>(m_settings->fileName(), QSettings::NativeFormat);
    } else {
        m_settings->sync();
    }
    m_writeFailed = m_settings->status() != QSettings::NoError;
    // Another copy of the program may have saved meanwhile; sync() merged its keys.
    readStoredKeys();
    if (m_writeFailed)
        return {SaveResult::Outcome::NotWritten, m_settings->fileName(),
                writeFailureCause(m_settings->fileName(), approximateFileSize())};
    return {};
}

// About what the file takes: every line "key=value" of the section.
qint64 SettingsStore::Storage::approximateFileSize() const
{
    qint64 size = m_section.size() + 3;
    for (const StoredKey &stored : m_keys)
        size += stored.path.size() + storedText(stored.value).toUtf8().size() + 2;
    return size;
}

void SettingsStore::Storage::readStoredKeys()
{
    QStringList sections = m_settings->childGroups();
    sections.removeIf(
        [](const QString &section) { return folded(section) != folded(sectionName); });
    m_section = sections.value(0, sectionName);

    m_keys.clear();
    for (const QString &section : std::as_const(sections)) {
        m_settings->beginGroup(section);
        const QStringList keys = m_settings->childKeys();
        for (const QString &key : keys) {
            StoredKey &stored = m_keys[folded(key)];
            const QString path = section + QLatin1Char('/') + key;
            if (stored.path.isEmpty()) {
                stored.path = path;
                stored.value = m_settings->value(key);
            } else {
                stored.otherPaths.append(path);
            }
        }
        m_settings->endGroup();
    }
}
