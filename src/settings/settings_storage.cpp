#include "settings/settings_storage.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryFile>
#include <QVariant>

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
// bytes; every value this program writes comes back as a plain string.
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
    return stored->value;
}

void SettingsStore::Storage::setValue(const QString &key, const QString &value)
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

void SettingsStore::Storage::sync()
{
    if (!m_settings)
        return;
    m_settings->sync();
    // Another copy of the program may have saved meanwhile; sync() merged its keys.
    readStoredKeys();
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
                stored.value = storedText(m_settings->value(key));
            } else {
                stored.otherPaths.append(path);
            }
        }
        m_settings->endGroup();
    }
}
