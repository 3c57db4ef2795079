#include "settings/index_server_setting.h"

#include "platform/user_folders.h"
#include "settings/ini_document.h"
#include "settings/ini_syntax.h"

#include <QFile>

namespace {

// a settings file is far smaller; a larger one is no settings file of ours
constexpr qint64 largestReadableFile = 128 * 1024 * 1024;

QByteArray indexSetting(const QString &key)
{
    QFile file(platform::configHome() + QStringLiteral("/spurwerk/spurwerk.conf"));
    if (!file.open(QIODevice::ReadOnly) || file.size() > largestReadableFile)
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
