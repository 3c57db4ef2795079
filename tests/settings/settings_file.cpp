#include "settings/settings_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {

QString configHome()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME");
}

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
    // QSettings keeps a parsed copy per file and trusts it while size and time are unchanged;
    // two hand-written files of one size within one clock tick must still differ in time.
    static int filesWritten = 0;
    const QDateTime distinctTime =
        QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).addSecs(++filesWritten);
    file.setFileTime(distinctTime, QFileDevice::FileModificationTime);
}

QByteArray SettingsFile::read()
{
    QFile file(path());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList SettingsFile::storedKeys()
{
    const QSettings settings(path(), QSettings::IniFormat);
    return settings.allKeys();
}

std::optional<QString> SettingsFile::storedValue(const QString &sectionAndKey)
{
    const QSettings settings(path(), QSettings::IniFormat);
    if (!settings.contains(sectionAndKey))
        return std::nullopt;
    return settings.value(sectionAndKey).toString();
}
