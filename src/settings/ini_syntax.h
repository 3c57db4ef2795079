#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// How QSettings' INI format spells keys and values. Earlier versions of this program wrote their
// settings with QSettings, and other programs' sections in the same file may still be read by it,
// so this is the format both ways: what it reads, this reads alike, and a value written here comes
// out as QSettings would write it. One addition: a value whose bytes are not valid UTF-8 (a file
// from an older machine) is read as Latin-1 instead of losing those bytes.
namespace ini {

// How the characters of a value beyond ASCII become bytes.
enum class Encoding
{
    Utf8,
    Latin1,
};

// A key or section name as spelt in the file ("%20" for a blank, "\" for "/"), and back.
QString unescapedKey(QByteArrayView spelt);
QByteArray escapedKey(const QString &key);

// A value as the file spells it after the "=": the text it stands for. Unquoted commas make a
// list, whose items are joined by ", ".
QString valueText(QByteArrayView spelt);
// The same as bytes: those of a "@ByteArray(...)" value, else the text in the encoding it was read
// in, so that bytes that are not UTF-8 come back as they were.
QByteArray valueBytes(QByteArrayView spelt);
// How the file spells a text value, its characters beyond ASCII in the encoding given.
QByteArray escapedValue(const QString &text, Encoding encoding = Encoding::Utf8);

} // namespace ini
