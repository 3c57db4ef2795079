#include "platform/windows_1252.h"

#include <algorithm>
#include <array>

namespace platform {

namespace {

// The characters of the bytes 0x80 to 0x9F; from 0xA0 on the code page is Latin-1.
constexpr std::array<char16_t, 32> upperControlRange = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};

bool isInUpperControlRange(char16_t character)
{
    return character >= 0x80 && character < 0xA0;
}

} // namespace

QString fromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = uchar(bytes[i]);
        text[i] =
            QChar(isInUpperControlRange(byte) ? upperControlRange[byte - 0x80] : char16_t(byte));
    }
    return text;
}

std::optional<QByteArray> toWindows1252(QStringView text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t character = text[i].unicode();
        if (character < 0x100 && !isInUpperControlRange(character)) {
            bytes[i] = char(character);
            continue;
        }
        const auto *found =
            std::find(upperControlRange.begin(), upperControlRange.end(), character);
        if (found == upperControlRange.end())
            return std::nullopt;
        bytes[i] = char(0x80 + (found - upperControlRange.begin()));
    }
    return bytes;
}

QString fileNameText(QByteArrayView name)
{
    // nearly every name is ASCII, which reads alike in every encoding a folder may use
    if (std::all_of(name.begin(), name.end(), [](char byte) { return quint8(byte) < 0x80; }))
        return QString::fromLatin1(name);
    const QString text = QString::fromLocal8Bit(name);
    return text.toLocal8Bit() == name ? text : fromWindows1252(name);
}

} // namespace platform
