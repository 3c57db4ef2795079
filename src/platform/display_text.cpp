#include "platform/display_text.h"

#include <QStringDecoder>

namespace platform {

namespace {

bool localEncodingIsUtf8()
{
    static const bool utf8 = QString::fromLocal8Bit("\xc3\xa4") == QStringLiteral("ä");
    return utf8;
}

// The length of the valid UTF-8 sequence that starts at `at`, or 0.
qsizetype utf8SequenceLength(QByteArrayView bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    qsizetype length = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, smallest = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, smallest = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, smallest = 0x10000;
    if (length == 0 || at + length > bytes.size())
        return 0;
    char32_t code = lead & (0x7F >> length);
    for (qsizetype i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code >= smallest && code <= 0x10FFFF && !surrogate ? length : 0;
}

} // namespace

QString displayText(const QByteArray &bytes)
{
    if (!localEncodingIsUtf8())
        return QString::fromLocal8Bit(bytes);
    QStringDecoder fromUtf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    if (QString text = fromUtf8(bytes); !fromUtf8.hasError())
        return text;
    QString text;
    text.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        if (static_cast<unsigned char>(bytes[at]) < 0x80) {
            text.append(QLatin1Char(bytes[at++]));
        } else if (const qsizetype length = utf8SequenceLength(bytes, at)) {
            text.append(QString::fromUtf8(bytes.constData() + at, length));
            at += length;
        } else {
            text.append(QLatin1Char(bytes[at++]));
        }
    }
    return text;
}

} // namespace platform
