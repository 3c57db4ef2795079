// The notes pad with large notes: stores notes of MEGABYTES in lines of names ("short", about 9
// bytes) or of paths ("paths", about 60 bytes), then, in a second run, times the store's read, the
// main window's start with them, its first painting and its close, which saves them, and checks
// that they come back unchanged. Run it offscreen with a settings location of its own;
// notes_size.sh runs it and measures the memory.
#include "main_window/form1.h"
#include "settings/settings_store.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

QString notesOfSize(qsizetype bytes, bool paths)
{
    QString notes;
    notes.reserve(bytes);
    for (int line = 0; notes.size() < bytes; ++line) {
        notes += paths ? QStringLiteral("/cad/teile/baugruppe_%1/welle_%2.prt.%3\r\n")
                             .arg(line % 97)
                             .arg(line)
                             .arg(line % 12)
                       : QStringLiteral("W%1\r\n").arg(line);
    }
    return notes;
}

double lap(QElapsedTimer &timer)
{
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    timer.restart();
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("spurwerk"));
    QCoreApplication::setApplicationName(QStringLiteral("spurwerk"));
    if (argc < 3) {
        std::fputs("usage: spurwerk-notes-size MEGABYTES short|paths [store]\n", stderr);
        return 2;
    }
    const QString notes = notesOfSize(QByteArray(argv[1]).toLongLong() * 1000 * 1000,
                                      std::strcmp(argv[2], "paths") == 0);
    if (argc > 3) {
        SettingsStore store;
        store.setValue(SettingsStore::Key::Notes, notes);
        store.sync();
        return 0;
    }

    QElapsedTimer timer;
    timer.start();
    auto store = std::make_unique<SettingsStore>();
    const double read = lap(timer);
    auto form = std::make_unique<Form1>(*store);
    const double load = lap(timer);
    form->show();
    form->repaint();
    QCoreApplication::processEvents();
    const double shown = lap(timer);
    form->close();
    const double closed = lap(timer);
    std::printf("read %.3f load %.3f show %.3f close %.3f\n", read, load, shown, closed);
    form.reset();
    return SettingsStore().value(SettingsStore::Key::Notes) == notes ? 0 : 1;
}
