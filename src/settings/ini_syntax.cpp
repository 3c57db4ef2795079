#include "settings/ini_syntax.h"

#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <utility>

namespace ini {

namespace {

int hexDigitValue(char16_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isOctalDigit(char c)
{
    return c >= '0' && c <= '7';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The character that a backslash followed by c stands for, or 0 when c does not name one.
char namedEscape(char c)
{
    switch (c) {
    case 'a':
        return '\a';
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    case 'v':
        return '\v';
    case '"':
    case '?':
    case '\'':
    case '\\':
        return c;
    default:
        return 0;
    }
}

QByteArray upperHex(char16_t code, int digits)
{
    return QByteArray::number(code, 16).toUpper().rightJustified(digits, '0');
}

// A value with its escapes and quotes resolved, before a leading "@" is looked at.
struct Unescaped
{
    QString text;
    QStringList items; // when unquoted commas made it a list
    bool isList = false;
    bool latin1 = false; // its bytes were not valid UTF-8
};

Unescaped unescaped(QByteArrayView spelt)
{
    Unescaped value;
    value.latin1 = !spelt.isValidUtf8();
    // A byte order mark is dropped at the start of the first run of plain bytes, not elsewhere.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    bool plainBytesSeen = false;
    const qsizetype size = spelt.size();
    // No escape or byte makes more than one UTF-16 unit: the text is written straight into place.
    QString buffer(size, Qt::Uninitialized);
    QChar *const text = buffer.data();
    QChar *end = text;
    qsizetype i = 0;
    bool inQuotes = false;
    bool quoted = false;       // the current text had quotes: its blanks at the end stay
    bool endsInEscape = false; // an escape that reaches the end keeps the blanks before it
    QChar *kept = text;        // blanks at the end are cut back to here, never into an escape
    const auto skipBlanks = [&] {
        while (i < size && isBlank(spelt.at(i)))
            ++i;
        kept = end;
    };
    const auto chopBlanks = [&] {
        while (end > kept && (end[-1] == u' ' || end[-1] == u'\t'))
            --end;
    };

    skipBlanks();
    while (i < size && !endsInEscape) {
        const char c = spelt.at(i);
        if (c == '\\') {
            endsInEscape = ++i == size;
            if (endsInEscape)
                break;
            const char escaped = spelt.at(i++);
            if (const char named = namedEscape(escaped)) {
                *end++ = QLatin1Char(named);
            } else if ((escaped == 'x' && i < size && hexDigitValue(spelt.at(i)) >= 0) ||
                       isOctalDigit(escaped)) {
                const int base = escaped == 'x' ? 16 : 8;
                char16_t code = base == 8 ? char16_t(escaped - '0') : 0;
                while (i < size && hexDigitValue(spelt.at(i)) >= 0 &&
                       (base == 16 || isOctalDigit(spelt.at(i))))
                    code = char16_t(code * base + hexDigitValue(spelt.at(i++)));
                *end++ = QChar(code);
                endsInEscape = i == size;
            } else if (escaped == 'x') {
                endsInEscape = i == size;
            } else if ((escaped == '\n' || escaped == '\r') && i < size &&
                       (spelt.at(i) == '\n' || spelt.at(i) == '\r') && spelt.at(i) != escaped) {
                ++i; // a line continued after CR LF or LF CR
            }
            kept = end;
        } else if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipBlanks();
        } else if (c == ',' && !inQuotes) {
            if (!quoted)
                chopBlanks();
            value.isList = true;
            value.items.append(QString(text, end - text));
            end = text;
            quoted = false;
            ++i;
            skipBlanks();
        } else {
            qsizetype runEnd = i + 1;
            while (runEnd < size && spelt.at(runEnd) != '\\' && spelt.at(runEnd) != '"' &&
                   spelt.at(runEnd) != ',')
                ++runEnd;
            QByteArrayView run = spelt.sliced(i, runEnd - i);
            if (!std::exchange(plainBytesSeen, true) && !value.latin1 &&
                run.startsWith("\xef\xbb\xbf"))
                run = run.sliced(3);
            // ASCII, as most of a value is, needs no decoder
            if (value.latin1 ||
                std::all_of(run.begin(), run.end(), [](char byte) { return uchar(byte) < 0x80; })) {
                for (const char byte : run)
                    *end++ = QLatin1Char(byte);
            } else {
                end = utf8.appendToBuffer(end, run);
            }
            i = runEnd;
        }
    }
    if (!endsInEscape && !quoted)
        chopBlanks();
    buffer.truncate(end - text);
    if (value.isList)
        value.items.append(buffer);
    else
        value.text = std::move(buffer);
    return value;
}

// What a value stands for, with QSettings' "@" forms that this program meets: bytes, a text that
// holds null characters, and a doubled "@". Other forms are left as spelt.
struct Value
{
    QString text;
    std::optional<QByteArray> bytes;
    bool latin1 = false;
};

Value valueOf(QByteArrayView spelt)
{
    Unescaped read = unescaped(spelt);
    if (read.isList) {
        for (QString &item : read.items) {
            if (item.startsWith(QLatin1String("@@")))
                item.remove(0, 1);
        }
        return {read.items.join(QLatin1String(", ")), std::nullopt, read.latin1};
    }
    QString &text = read.text;
    if (text.startsWith(QLatin1String("@ByteArray(")) && text.endsWith(u')'))
        return {QString(), QStringView(text).sliced(11).chopped(1).toLatin1(), read.latin1};
    if (text.startsWith(QLatin1String("@String(")) && text.endsWith(u')'))
        return {text.sliced(8).chopped(1), std::nullopt, read.latin1};
    if (text.startsWith(QLatin1String("@@")))
        text.remove(0, 1);
    return {std::move(text), std::nullopt, read.latin1};
}

} // namespace

QString unescapedKey(QByteArrayView spelt)
{
    const QString decoded =
        spelt.isValidUtf8() ? QString::fromUtf8(spelt) : QString::fromLatin1(spelt);
    QString key;
    key.reserve(decoded.size());
    for (qsizetype i = 0; i < decoded.size();) {
        const QChar c = decoded.at(i);
        if (c == u'\\') {
            key += u'/';
            ++i;
            continue;
        }
        if (c == u'%') {
            // "%XX" for a Latin-1 character, "%UXXXX" for any other
            const bool wide = i + 1 < decoded.size() && decoded.at(i + 1) == u'U';
            const qsizetype digitsAt = i + (wide ? 2 : 1);
            const qsizetype digitsEnd = digitsAt + (wide ? 4 : 2);
            char16_t code = 0;
            bool valid = digitsEnd <= decoded.size();
            for (qsizetype digit = digitsAt; valid && digit < digitsEnd; ++digit) {
                const int value = hexDigitValue(decoded.at(digit).unicode());
                valid = value >= 0;
                code = char16_t(code * 16 + value);
            }
            if (valid) {
                key += QChar(code);
                i = digitsEnd;
                continue;
            }
        }
        key += c;
        ++i;
    }
    return key;
}

QByteArray escapedKey(const QString &key)
{
    QByteArray spelt;
    spelt.reserve(key.size());
    for (const QChar character : key) {
        const char16_t c = character.unicode();
        if (c == '/')
            spelt += '\\';
        else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '_' || c == '-' || c == '.')
            spelt += char(c);
        else if (c <= 0xFF)
            spelt += '%' + upperHex(c, 2);
        else
            spelt += "%U" + upperHex(c, 4);
    }
    return spelt;
}

QString valueText(QByteArrayView spelt)
{
    const Value value = valueOf(spelt);
    if (!value.bytes)
        return value.text;
    return value.bytes->isValidUtf8() ? QString::fromUtf8(*value.bytes)
                                      : QString::fromLatin1(*value.bytes);
}

QByteArray valueBytes(QByteArrayView spelt)
{
    const Value value = valueOf(spelt);
    if (value.bytes)
        return *value.bytes;
    return value.latin1 ? value.text.toLatin1() : value.text.toUtf8();
}

QByteArray escapedValue(const QString &text, Encoding encoding)
{
    // Wrapped or with a second "@", no text is taken for one of the "@" forms.
    QString value = text;
    if (text.contains(QChar::Null))
        value = QLatin1String("@String(") + text + u')';
    else if (text.startsWith(u'@'))
        value.prepend(u'@');

    QByteArray spelt;
    spelt.reserve(value.size() + value.size() / 8 + 2);
    bool needsQuotes = false;
    bool escapeHexDigits = false; // after a numeric escape, a hex digit would become part of it
    const qsizetype size = value.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = value.at(i).unicode();
        if (c == ';' || c == ',' || c == '=')
            needsQuotes = true;
        if (escapeHexDigits && hexDigitValue(c) >= 0) {
            spelt += "\\x" + QByteArray::number(c, 16);
            continue;
        }
        escapeHexDigits = false;
        if (const char *named = c == 0      ? "\\0"
                                : c == '\a' ? "\\a"
                                : c == '\b' ? "\\b"
                                : c == '\f' ? "\\f"
                                : c == '\n' ? "\\n"
                                : c == '\r' ? "\\r"
                                : c == '\t' ? "\\t"
                                : c == '\v' ? "\\v"
                                : c == '"'  ? "\\\""
                                : c == '\\' ? "\\\\"
                                            : nullptr) {
            spelt += named;
            escapeHexDigits = c == 0;
        } else if (c < 0x20) {
            spelt += "\\x" + QByteArray::number(c, 16);
            escapeHexDigits = true;
        } else if (c < 0x80) {
            spelt += char(c);
        } else {
            qsizetype end = i + 1;
            while (end < size && value.at(end).unicode() >= 0x80)
                ++end;
            const QStringView run = QStringView(value).sliced(i, end - i);
            spelt += encoding == Encoding::Latin1 ? run.toLatin1() : run.toUtf8();
            i = end - 1;
        }
    }
    if (needsQuotes || spelt.startsWith(' ') || spelt.endsWith(' ')) {
        spelt.prepend('"');
        spelt.append('"');
    }
    return spelt;
}

} // namespace ini
