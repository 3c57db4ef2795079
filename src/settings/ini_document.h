#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QMap>
#include <QString>

// A settings file in QSettings' INI format as sections of keys, each key with its value as the
// file spells it, so that a value nobody changes is written back as it was. Sections and keys
// are kept in name order, the order in which QSettings writes them; comments are not kept.
namespace ini {

using Section = QMap<QString, QByteArray>; // key -> value as spelt
using Sections = QMap<QString, Section>;   // "" holds the keys before any section header

struct ReadResult
{
    Sections sections;
    QString problem; // why the bytes are not a settings file, for the user; empty when they are
};

// Reads what QSettings reads. Beyond what it rejects, this also rejects what only looks broken:
// a text with control characters such as null bytes, no section header at all, or an end
// inside quotes or after a backslash, as a file cut short.
ReadResult read(QByteArrayView data);
QByteArray written(const Sections &sections);

} // namespace ini
