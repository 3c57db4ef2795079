#include "main_window/command_line.h"

#include "platform/file_lookup.h"
#include "platform/windows_1252.h"

QStringList argumentsAfterProgramName(int argc, const char *const *argv)
{
    QStringList texts;
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView argument(argv[i]);
        const qsizetype nameStart = platform::nameStart(argument);
        texts.append(platform::fileNameText(argument.first(nameStart)) +
                     platform::fileNameText(argument.sliced(nameStart)));
    }
    return texts;
}

QString fileArgumentFromCommandLine(const QStringList &argumentsAfterProgramName)
{
    QString text = argumentsAfterProgramName.join(QLatin1Char(' '));
    const QLatin1Char quote('"');
    if (text.size() >= 2 && text.startsWith(quote) && text.endsWith(quote))
        text = text.mid(1, text.size() - 2);
    return text;
}

std::optional<QByteArray> whereUsedFileArgument(int argc, const char *const *argv)
{
    if (argc < 2 || QByteArrayView(argv[1]) != "--verwendung")
        return std::nullopt;
    return argc > 2 ? QByteArray(argv[2]) : QByteArray();
}
