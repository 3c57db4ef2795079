// Prints the type that Qt's MIME database gives each file named on the command line, one per
// line: what a Qt file manager shows for it.
#include <QCoreApplication>
#include <QMimeDatabase>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QMimeDatabase types;
    QTextStream out(stdout);
    for (const QString &file : application.arguments().mid(1))
        out << types.mimeTypeForFile(file).name() << '\n';
    return 0;
}
