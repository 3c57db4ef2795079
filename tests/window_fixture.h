#pragma once

#include "settings/settings_store.h"
#include "test_tree.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QByteArrayList>
#include <QList>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class Form1;

// Accepts every modal message box that opens while it lives and keeps the texts it showed, so a
// test never hangs on a box nobody closes.
class ModalBoxCloser : public QObject
{
    Q_OBJECT

public:
    ModalBoxCloser();
    QStringList texts;

private:
    void closeActiveModal();
    QTimer m_timer;
};

// What every window test stands on, made anew for each test function: an empty settings store in
// the isolated settings location, a tree of files, the main window over them on first use, modal
// boxes answered, and the desktop's opener recorded instead of started. Going, it closes every
// window and puts back the working folder and the event and opener hooks.
class WindowFixture
{
public:
    WindowFixture();
    ~WindowFixture();
    WindowFixture(const WindowFixture &) = delete;
    WindowFixture &operator=(const WindowFixture &) = delete;

    // The store is read when first asked for, so a test may write settings before.
    SettingsStore &store();
    // Writes a value to the settings file, for the window to read at its start.
    static void storeSetting(SettingsStore::Key key, const QString &value);
    // The main window, loaded with the file argument on first use.
    Form1 &form(const QString &fileArgument = QString());
    // The main window, shown.
    Form1 &shownForm();
    // Appends these folders of the tree to the editor's list, each ticked.
    void tick(const QByteArrayList &folders);
    // Types the text into the search box and presses Enter, which runs a search at once.
    void pressEnterWith(const QString &text);
    // Runs a search for "HUB", as Enter in the search box starts it, that finds files of these
    // names in this order: each is written into a folder of its own and the folders are ticked in
    // turn (those of earlier calls stay ticked). Returns the files' paths.
    QByteArrayList searchHits(const QByteArrayList &names);

    TestTree tree;
    ModalBoxCloser boxes;
    // what the windows handed to the desktop, in order
    QList<QUrl> opened;
    // the desktop has no application for what it is handed
    bool desktopFails = false;

private:
    QByteArray m_startFolder;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<Form1> m_form;
    int m_hitFolders = 0;
};

// The loaded (not unloaded) top-level window of that class, or none.
template<typename Window> Window *loadedWindow()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *loaded = qobject_cast<Window *>(window); loaded && !loaded->isUnloaded())
            return loaded;
    }
    return nullptr;
}

// The visible top-level window of that object name, or none.
QWidget *visibleWindow(const char *objectName);

template<typename Control> Control *control(const QWidget *window, const char *name)
{
    return window->findChild<Control *>(QLatin1String(name));
}

// The texts a list shows, in list order, and how many entries it holds.
QStringList listTexts(const QAbstractItemView *list);
int rowCount(const QWidget *window, const char *listName);
// The text of a label or a text field.
QString textOf(const QWidget *window, const char *name);
bool isShown(const QWidget *window, const char *name);
// Clicks the button, the picture button or the check box of that name.
void press(const QWidget *window, const char *button);
// A file's bytes, or "(unreadable)".
QByteArray contentsOf(const QString &path);

// Acts once, in the middle of the form's next run: when the finder reports the first candidate.
void atFirstCandidate(Form1 &form, const std::function<void()> &act);
// Clicks the entry in that row, as the mouse does.
void clickRow(QAbstractItemView *list, int row);
