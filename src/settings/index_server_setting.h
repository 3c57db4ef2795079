#pragma once

#include <QByteArray>

// Keys of section "Index" in the settings file (beside "Optionen", which the settings store
// owns), letter case of section and key ignored; empty when not set or the file cannot be read.
// Only read: the office's administrator writes them.

// Key "Server": the office index's libpq connection string.
QByteArray indexServerSetting();
// Key "Map": the desktop's folders for the server's, "SERVER=LOCAL" pairs separated by ";".
QByteArray indexMapSetting();
