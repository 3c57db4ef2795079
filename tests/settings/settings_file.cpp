#include "settings/settings_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryFile>

namespace {

QString configHome()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME");
}

// QSettings keeps one parsed copy per file name and trusts it while the file's size and time stay
// the same, and the store writes behind its back: so QSettings reads a copy under a new name.
class QSettingsReading
{
public:
    QSettingsReading()
    {
        if (!m_copy.open() || m_copy.write(SettingsFile::read()) < 0 || !m_copy.flush())
            qFatal("cannot copy the settings file");
        m_settings.emplace(m_copy.fileName(), QSettings::IniFormat);
    }
    const QSettings &settings() const { return *m_settings; }

private:
    QTemporaryFile m_copy;
    std::optional<QSettings> m_settings;
};

} // namespace

bool SettingsFile::isIsolated()
{
    const QString home = QDir::cleanPath(qEnvironmentVariable("HOME"));
    const QString config = QDir::cleanPath(configHome());
    return !config.isEmpty() && config != home + QStringLiteral("/.config");
}

QString SettingsFile::path()
{
    return configHome() + QStringLiteral("/spurwerk/spurwerk.conf");
}

void SettingsFile::remove()
{
    const QFileInfo info(path());
    if (info.isDir()) {
        QDir(path()).removeRecursively();
        return;
    }
    QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QFile::remove(path());
}

void SettingsFile::write(const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path()).path());
    QFile file(path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the settings file");
    file.write(content);
}

QByteArray SettingsFile::read()
{
    QFile file(path());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList SettingsFile::storedKeys()
{
    return QSettingsReading().settings().allKeys();
}

std::optional<QString> SettingsFile::storedValue(const QString &sectionAndKey)
{
    const QSettingsReading reading;
    if (!reading.settings().contains(sectionAndKey))
        return std::nullopt;
    return reading.settings().value(sectionAndKey).toString();
}
