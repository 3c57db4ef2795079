#include "settings/index_server_setting.h"

#include "settings/ini_document.h"
#include "settings/ini_syntax.h"
#include "settings/settings_location.h"

#include <QFile>

namespace {

QByteArray indexSetting(const QString &key)
{
    QFile file(settingsFilePath());
    if (!file.open(QIODevice::ReadOnly) || file.size() > largestSettingsFile)
        return {};
    const ini::ReadResult read = ini::read(file.readAll());
    if (!read.problem.isEmpty())
        return {};
    const QString section = QStringLiteral("index");
    for (auto sections = read.sections.cbegin(); sections != read.sections.cend(); ++sections) {
        if (sections.key().toCaseFolded() != section)
            continue;
        for (auto value = sections->cbegin(); value != sections->cend(); ++value) {
            if (value.key().toCaseFolded() == key)
                return ini::valueText(value.value()).toUtf8();
        }
    }
    return {};
}

} // namespace

QByteArray indexServerSetting()
{
    return indexSetting(QStringLiteral("server"));
}

QByteArray indexMapSetting()
{
    return indexSetting(QStringLiteral("map"));
}
