#include "window_fixture.h"

#include "main_window/form1.h"
#include "path_editor/folder_list.h"
#include "path_editor/form2.h"
#include "platform/working_folder.h"
#include "search/cfindfile.h"
#include "settings/settings_store.h"
#include "widgets/desktop_opener.h"
#include "widgets/throttled_event_pump.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <unistd.h>
#include <utility>

ModalBoxCloser::ModalBoxCloser()
{
    connect(&m_timer, &QTimer::timeout, this, &ModalBoxCloser::closeActiveModal);
    m_timer.start(10);
}

void ModalBoxCloser::closeActiveModal()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box)
        return;
    texts.append(box->text());
    box->accept();
}

WindowFixture::WindowFixture()
    : m_startFolder(platform::workingFolder())
{
    QCoreApplication::setOrganizationName(QStringLiteral("spurwerk"));
    QCoreApplication::setApplicationName(QStringLiteral("spurwerk"));
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty())
        qFatal("window tests must run with an isolated XDG_CONFIG_HOME");
    QDir(configHome + QStringLiteral("/spurwerk")).removeRecursively();
    const QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (!stateHome.isEmpty())
        QDir(stateHome + QStringLiteral("/spurwerk")).removeRecursively();
    platform::setDesktopOpener([this](const QUrl &address) {
        opened.append(address);
        return !desktopFails;
    });
}

WindowFixture::~WindowFixture()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        window->close();
    m_form.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    platform::setDesktopOpener({});
    platform::installThrottledEventPump();
    if (::chdir(m_startFolder.constData()) != 0)
        qWarning("cannot return to %s", m_startFolder.constData());
}

void WindowFixture::storeSetting(SettingsStore::Key key, const QString &value)
{
    SettingsStore store;
    store.setValue(key, value);
    if (!store.sync().saved())
        qFatal("cannot write the settings file");
}

SettingsStore &WindowFixture::store()
{
    if (!m_store)
        m_store = std::make_unique<SettingsStore>();
    return *m_store;
}

Form1 &WindowFixture::form(const QString &fileArgument)
{
    if (!m_form)
        m_form = std::make_unique<Form1>(store(), fileArgument);
    return *m_form;
}

Form1 &WindowFixture::shownForm()
{
    form().show();
    return form();
}

void WindowFixture::tick(const QByteArrayList &folders)
{
    form();
    FolderList &list = loadedWindow<Form2>()->folderList();
    for (const QByteArray &folder : folders) {
        list.appendPath(tree.path(folder));
        list.tick(list.count() - 1);
    }
}

void WindowFixture::pressEnterWith(const QString &text)
{
    auto *searchBox = control<QLineEdit>(&form(), "txt_textfind");
    searchBox->setText(text);
    QTest::keyClick(searchBox, Qt::Key_Return);
}

QByteArrayList WindowFixture::searchHits(const QByteArrayList &names)
{
    QByteArrayList paths;
    for (const QByteArray &name : names) {
        const QByteArray folder = "hits/" + QByteArray::number(m_hitFolders++);
        paths.append(tree.addFile(folder + '/' + name, "HUB"));
        tick({folder});
    }
    pressEnterWith(QStringLiteral("HUB"));
    return paths;
}

QWidget *visibleWindow(const char *objectName)
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QLatin1String(objectName) && window->isVisible())
            return window;
    }
    return nullptr;
}

void clickRow(QAbstractItemView *list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(row, 0)).center());
}

QStringList listTexts(const QAbstractItemView *list)
{
    QStringList texts;
    const QAbstractItemModel *model = list->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts.append(model->index(row, 0).data().toString());
    return texts;
}

int rowCount(const QWidget *window, const char *listName)
{
    return control<QAbstractItemView>(window, listName)->model()->rowCount();
}

QString textOf(const QWidget *window, const char *name)
{
    if (auto *field = control<QLineEdit>(window, name))
        return field->text();
    return control<QLabel>(window, name)->text();
}

bool isShown(const QWidget *window, const char *name)
{
    return control<QWidget>(window, name)->isVisible();
}

void press(const QWidget *window, const char *button)
{
    control<QAbstractButton>(window, button)->click();
}

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

void atFirstCandidate(Form1 &form, const std::function<void()> &act)
{
    QObject::connect(form.findChild<cFindFile *>(), &cFindFile::MatchFound, &form,
                     [act, done = false]() mutable {
                         if (!std::exchange(done, true))
                             act();
                     });
}
