#include "main_window/command_line.h"

#include "platform/file_lookup.h"
#include "platform/windows_1252.h"

#include <QCommandLineParser>

namespace {

QString argumentText(QByteArrayView argument)
{
    const qsizetype nameStart = platform::nameStart(argument);
    return platform::fileNameText(argument.first(nameStart)) +
           platform::fileNameText(argument.sliced(nameStart));
}

} // namespace

QStringList argumentsAfterProgramName(int argc, const char *const *argv)
{
    QStringList texts;
    for (int i = 1; i < argc; ++i)
        texts.append(argumentText(argv[i]));
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

StartRequest startRequest(int argc, const char *const *argv)
{
    if (whereUsedFileArgument(argc, argv))
        return {StartRequest::Kind::WhereUsed, {}, {}};
    QCommandLineParser parser;
    // "-x.prt" is one unknown option, not six; after the file argument, a word is part of it
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({help, version});
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (!parser.parse(arguments))
        return {StartRequest::Kind::BadUsage, {}, parser.errorText()};
    if (parser.isSet(help))
        return {StartRequest::Kind::Help, {}, {}};
    if (parser.isSet(version))
        return {StartRequest::Kind::Version, {}, {}};
    // the file argument is the arguments' tail, read from their bytes
    QStringList fileArgument;
    for (int i = argc - int(parser.positionalArguments().size()); i < argc; ++i)
        fileArgument.append(argumentText(argv[i]));
    return {StartRequest::Kind::Window, fileArgumentFromCommandLine(fileArgument), {}};
}

std::optional<QByteArray> whereUsedFileArgument(int argc, const char *const *argv)
{
    if (argc < 2 || QByteArrayView(argv[1]) != "--verwendung")
        return std::nullopt;
    return argc > 2 ? QByteArray(argv[2]) : QByteArray();
}
