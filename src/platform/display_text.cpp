#include "platform/display_text.h"

#include <QStringDecoder>

namespace platform {

namespace {

// The length of the valid UTF-8 sequence that starts at `at`, or 0.
qsizetype utf8SequenceLength(QByteArrayView bytes, qsizetype at)
{
    const unsigned char lead = bytes[at];
    qsizetype length = 0;
    if (lead >= 0xC0 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF7)
        length = 4;
    const bool valid =
        length && at + length <= bytes.size() && bytes.sliced(at, length).isValidUtf8();
    return valid ? length : 0;
}

} // namespace

QString displayText(const QByteArray &bytes)
{
    QStringDecoder fromUtf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    if (QString text = fromUtf8(bytes); !fromUtf8.hasError())
        return text;
    QString text;
    text.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        if (const qsizetype length = utf8SequenceLength(bytes, at)) {
            text.append(QString::fromUtf8(bytes.constData() + at, length));
            at += length;
        } else {
            text.append(QLatin1Char(bytes[at++]));
        }
    }
    return text;
}

} // namespace platform
