#include "main_window/command_line.h"
#include "main_window/form1.h"
#include "main_window/where_used_start.h"
#include "platform/standard_output.h"
#include "settings/settings_store.h"

#include <QApplication>
#include <cstdio>

namespace {

const char usage[] = "Usage: spurwerk [--] [FILE]\n"
                     "       spurwerk --verwendung FILE\n"
                     "       spurwerk --help | --version\n";

const char helpText[] =
    "\n"
    "Finds the CAD assemblies, drawings and parts that use a part: type its name into\n"
    "the window, tick the folders to search and start the search (the window is in\n"
    "German).\n"
    "\n"
    "  FILE              a part file: its base name is searched for in the\n"
    "                    assemblies of the current folder before the window appears,\n"
    "                    as the file manager's \"open with\" does; a name beginning\n"
    "                    with \"-\" follows \"--\"\n"
    "  --verwendung FILE the where-used window alone: the assemblies and drawings\n"
    "                    that use FILE, up to the top assemblies\n"
    "  -h, --help        show this text\n"
    "  --version         show the version\n"
    "\n"
    "See spurwerk(1); spurwerk-find(1) searches without a window.\n";

// Printed without a window, so that it needs no display; 2 when standard output lost it.
int printed(const QByteArray &text)
{
    std::fputs(text.constData(), stdout);
    return platform::standardOutputWritten("spurwerk") ? 0 : 2;
}

} // namespace

int main(int argc, char *argv[])
{
    const StartRequest start = startRequest(argc, argv);
    switch (start.kind) {
    case StartRequest::Kind::Help:
        return printed(QByteArray(usage) + helpText);
    case StartRequest::Kind::Version:
        return printed("spurwerk " SPURWERK_VERSION "\n");
    case StartRequest::Kind::BadUsage:
        std::fprintf(stderr, "spurwerk: %s\n%s", start.problem.toLocal8Bit().constData(), usage);
        return 2;
    case StartRequest::Kind::Window:
    case StartRequest::Kind::WhereUsed:
        break;
    }
    // Qt is given no argument to take as its own (-style, -reverse …): each is the program's, and
    // a file after "--" stays a file.
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("spurwerk"));
    QCoreApplication::setApplicationName(QStringLiteral("spurwerk"));

    SettingsStore store;
    if (const std::optional<QByteArray> file = whereUsedFileArgument(argc, argv)) {
        // the window cannot open at all: the message has said why
        if (!showWhereUsedAlone(*file, store))
            return 2;
        return QApplication::exec();
    }
    Form1 mainWindow(store, start.fileArgument);
    mainWindow.show();
    return QApplication::exec();
}
