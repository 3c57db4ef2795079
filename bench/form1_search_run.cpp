// One whole search run through the main window, as Enter in the search box starts it, over the
// assemblies of the folders given; prints the hits, one per line, and the run's own time, from
// Enter to its end, on standard error. For timing against spurwerk-find: run it offscreen, with a
// settings location of its own. With --second, the run timed is the window's second one: the
// first has painted the result panel, whose first painting costs a run once per start.
#include "main_window/form1.h"
#include "path_editor/folder_list.h"
#include "path_editor/form2.h"
#include "settings/settings_store.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QWindow>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("spurwerk"));
    QCoreApplication::setApplicationName(QStringLiteral("spurwerk"));
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool second = !arguments.isEmpty() && arguments.first() == u"--second";
    if (second)
        arguments.removeFirst();
    if (arguments.size() < 2) {
        std::fputs("usage: spurwerk-form1-run [--second] TEXT FOLDER...\n", stderr);
        return 2;
    }

    SettingsStore store;
    Form1 form(store);
    Form2 *editor = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *loaded = qobject_cast<Form2 *>(window); loaded && !loaded->isUnloaded())
            editor = loaded;
    }
    FolderList &folders = editor->folderList();
    for (const QString &folder : arguments.mid(1)) {
        folders.append(folder);
        folders.tick(folders.count() - 1);
    }
    // The window is on the screen before anyone types: its first painting, which the platform
    // asks for with the exposure, is behind it, as a user's typing puts it.
    form.show();
    while (!form.windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents();
    form.findChild<QComboBox *>(QStringLiteral("com_krit"))->setEditText(QStringLiteral("asm"));
    auto *searchBox = form.findChild<QLineEdit *>(QStringLiteral("txt_textfind"));
    searchBox->setText(arguments.first());
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    if (second)
        QApplication::sendEvent(searchBox, &enter);
    QElapsedTimer runTime;
    runTime.start();
    QApplication::sendEvent(searchBox, &enter);
    std::fprintf(stderr, "run seconds: %.4f\n", double(runTime.nsecsElapsed()) / 1e9);

    const QAbstractItemModel *hits = form.findChild<QListView *>(QStringLiteral("List2"))->model();
    for (int row = 0; row < hits->rowCount(); ++row) {
        const QByteArray path = hits->index(row, 0).data(Qt::UserRole).toByteArray();
        std::fwrite(path.constData(), 1, path.size(), stdout);
        std::fputc('\n', stdout);
    }
    return hits->rowCount() > 0 ? 0 : 1;
}
