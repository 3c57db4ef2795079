#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

namespace platform {

// The Western European Windows code page, one byte per character, in which the CAD programs of a
// German office store names. Qt has no codec for it without ICU. The five bytes it leaves free
// stand for the control characters of the same number, as in Latin-1.

QString fromWindows1252(QByteArrayView bytes);
// None when the text holds a character the code page cannot carry.
std::optional<QByteArray> toWindows1252(QStringView text);

// A file name (or a path's folders) as its maker meant it: in the local encoding, or in the code
// page when the bytes are not valid there, as names written on an old share are not.
QString fileNameText(QByteArrayView name);

} // namespace platform
