#include "search/text_forms.h"

#include "platform/windows_1252.h"

#include <algorithm>

QList<QByteArray> textForms(const QString &text)
{
    QList<QByteArray> forms{text.toLocal8Bit()};
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](QChar character) { return character.unicode() < 0x80; });
    if (ascii)
        return forms;
    if (const std::optional<QByteArray> windows1252 = platform::toWindows1252(text))
        forms.append(*windows1252);
    return forms;
}
