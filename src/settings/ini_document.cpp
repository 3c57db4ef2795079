#include "settings/ini_document.h"

#include "settings/ini_syntax.h"

#include <optional>

namespace ini {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

struct Line
{
    qsizetype start = 0;
    QByteArrayView text;
    qsizetype equals = -1; // the first "=" outside quotes, within text
    bool open = false;     // the data ended inside quotes or after a backslash
};

// The logical lines of the data: a line goes on across line breaks inside quotes and after a
// backslash, and ends before a ";" outside quotes; lines that begin with ";" are comments.
class LineReader
{
public:
    explicit LineReader(QByteArrayView data)
        : m_data(data)
    {}

    std::optional<Line> next()
    {
        const qsizetype size = m_data.size();
        Line line;
        line.start = m_position;
        while (line.start < size && isSpace(m_data.at(line.start)))
            ++line.start;
        qsizetype i = line.start;
        bool inQuotes = false;
        while (i < size) {
            const char c = m_data.at(i++);
            if (c == '=') {
                if (!inQuotes && line.equals < 0)
                    line.equals = i - 1 - line.start;
            } else if (c == '\n' || c == '\r') {
                if (!inQuotes) {
                    --i;
                    break;
                }
            } else if (c == '\\') {
                line.open = i == size;
                if (i < size) {
                    const char escaped = m_data.at(i++);
                    if (i < size && (escaped == '\n' || escaped == '\r') &&
                        (m_data.at(i) == '\n' || m_data.at(i) == '\r') && m_data.at(i) != escaped)
                        ++i;
                }
            } else if (c == '"') {
                inQuotes = !inQuotes;
            } else if (c == ';') {
                if (i == line.start + 1) {
                    while (i < size && m_data.at(i) != '\n' && m_data.at(i) != '\r')
                        ++i;
                    while (i < size && isSpace(m_data.at(i)))
                        ++i;
                    line.start = i;
                } else if (!inQuotes) {
                    --i;
                    break;
                }
            }
        }
        m_position = i;
        if (i == line.start)
            return std::nullopt;
        line.text = m_data.sliced(line.start, i - line.start);
        line.open = line.open || inQuotes;
        return line;
    }

private:
    QByteArrayView m_data;
    qsizetype m_position = 0;
};

QString sectionName(QByteArrayView spelt)
{
    if (spelt.compare("general", Qt::CaseInsensitive) == 0)
        return QString();
    if (spelt.compare("%general", Qt::CaseInsensitive) == 0)
        return QString::fromLatin1(spelt.sliced(1));
    return unescapedKey(spelt);
}

QByteArray sectionHeader(const QString &name)
{
    if (name.isEmpty())
        return "[General]";
    const QByteArray spelt = escapedKey(name);
    if (spelt.compare("general", Qt::CaseInsensitive) == 0)
        return "[%General]";
    return '[' + spelt + ']';
}

// Control characters other than tab and line breaks never stand in a settings file: QSettings
// writes them as escapes. The position of the first, or -1.
qsizetype firstControlCharacter(QByteArrayView data)
{
    for (qsizetype i = 0; i < data.size(); ++i) {
        const auto c = uchar(data.at(i));
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return i;
    }
    return -1;
}

ReadResult failure(QByteArrayView data, qsizetype position, const char *what)
{
    const qsizetype line = data.first(position).count('\n') + 1;
    return {{}, QString::fromUtf8(what).arg(line)};
}

} // namespace

ReadResult read(QByteArrayView data)
{
    if (data.startsWith("\xef\xbb\xbf"))
        data = data.sliced(3);
    if (const qsizetype control = firstControlCharacter(data); control >= 0)
        return failure(data, control,
                       "sie enthält in Zeile %1 Steuerzeichen und ist keine Textdatei");

    ReadResult result;
    QString section;
    bool headerSeen = false;
    LineReader lines(data);
    while (const std::optional<Line> line = lines.next()) {
        if (line->open)
            return failure(data, line->start,
                           "sie endet mitten in dem Wert, der in Zeile %1 beginnt");
        if (line->text.startsWith('[')) {
            const qsizetype close = line->text.indexOf(']');
            if (close < 0)
                return failure(data, line->start, "in Zeile %1 fehlt die schließende Klammer ]");
            section = sectionName(line->text.sliced(1, close - 1).trimmed());
            headerSeen = true;
            continue;
        }
        if (line->equals < 0)
            return failure(data, line->start, "Zeile %1 ist weder ein Abschnitt noch Name=Wert");
        // QSettings files a key under the part of "section/key" before its first "/".
        const QString key = unescapedKey(line->text.first(line->equals).trimmed());
        const QString path = section.isEmpty() ? key : section + u'/' + key;
        const qsizetype slash = path.indexOf(u'/');
        result.sections[slash < 0 ? QString() : path.left(slash)][path.sliced(slash + 1)] =
            line->text.sliced(line->equals + 1).trimmed().toByteArray();
    }
    if (!headerSeen && !data.trimmed().isEmpty())
        return {{}, QStringLiteral("sie enthält keinen Abschnitt wie [Optionen]")};
    return result;
}

QByteArray written(const Sections &sections)
{
    QByteArray file;
    for (auto section = sections.cbegin(); section != sections.cend(); ++section) {
        if (section->isEmpty())
            continue;
        if (!file.isEmpty())
            file += '\n';
        file += sectionHeader(section.key()) + '\n';
        for (auto key = section->cbegin(); key != section->cend(); ++key) {
            file += escapedKey(key.key());
            file += '=';
            file += key.value();
            file += '\n';
        }
    }
    return file;
}

} // namespace ini
