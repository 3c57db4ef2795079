#include "main_window/command_line.h"
#include "main_window/form1.h"
#include "main_window/where_used_start.h"
#include "settings/settings_store.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("spurwerk"));
    QCoreApplication::setApplicationName(QStringLiteral("spurwerk"));

    SettingsStore store;
    if (const std::optional<QByteArray> file = whereUsedFileArgument(argc, argv)) {
        // the window cannot open at all: the message has said why
        if (!showWhereUsedAlone(*file, store))
            return 2;
        return QApplication::exec();
    }
    // argv as the application left it, without the options it took for itself
    Form1 mainWindow(store, fileArgumentFromCommandLine(argumentsAfterProgramName(argc, argv)));
    mainWindow.show();
    return QApplication::exec();
}
