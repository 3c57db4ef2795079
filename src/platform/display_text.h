#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// A file name or path as a person reads it. Names are bytes, and old shares hold names written
// in Latin-1, which UTF-8 cannot decode: each byte that is not part of a valid UTF-8 sequence
// shows as its Latin-1 character, instead of a replacement mark that would make "wärme" and
// "würme" look alike.
QString displayText(const QByteArray &bytes);

} // namespace platform
