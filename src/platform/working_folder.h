#pragma once

#include <QByteArray>

namespace platform {

// The process's current working folder as the bytes the system holds: QDir::currentPath()
// cannot carry a name that is not valid UTF-8.
QByteArray workingFolder();

} // namespace platform
