#include "platform/user_folders.h"

#include <QDir>

namespace platform {

namespace {

QString baseFolder(const char *variable, const QString &underHome)
{
    const QString given = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(given) ? given : QDir::homePath() + u'/' + underHome;
}

} // namespace

QString configHome()
{
    return baseFolder("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString cacheHome()
{
    return baseFolder("XDG_CACHE_HOME", QStringLiteral(".cache"));
}

QString stateHome()
{
    return baseFolder("XDG_STATE_HOME", QStringLiteral(".local/state"));
}

} // namespace platform
