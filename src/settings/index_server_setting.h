#pragma once

#include <QByteArray>

// Key "Server" of section "Index" in the settings file (beside "Optionen", which the settings
// store owns): the office index's libpq connection string, letter case of section and key
// ignored; empty when it is not set or the file cannot be read. Only read: the office's
// administrator writes it.
QByteArray indexServerSetting();
