// How long a run goes on once a stop was confirmed, or the window was asked to close, while a
// large file is being searched: the main window, offscreen, runs over one file of the type "asm"
// that does not hold the text; a timer stops it after a while, as the user's click and OK would,
// and the time from the OK (or from the close) to the end of the run (or the hidden window) is
// measured. Two files, written into FOLDER when missing, each costing time per 4096-byte block:
//   data/big.asm     4 GiB of data, read from the page cache once the first run has read it
//   extents/big.asm  64 GiB with a 4 KiB data extent at every MiB and holes between: each extent
//                    costs two seeks and a read, each block of a hole its status and event step
// Prints, per file, the time a whole run takes (its second, with the file in the page cache) and,
// per way of ending it, the median and the largest latency of ROUNDS rounds and how far the
// search had come.
#include "main_window/form1.h"
#include "path_editor/folder_list.h"
#include "path_editor/form2.h"
#include "settings/settings_store.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 mebibyte = qint64(1) << 20;
constexpr const char *text = "STOP_LATENCY_4711";
// the read-ahead and the first pages are behind the run by then, and most of the file ahead
constexpr int interruptAfterMs = 100;

enum class Ending
{
    Stop,
    Close,
};

// Pseudo-random bytes: no text record in them, and no run of zeros the search could skip.
void fillRandom(std::vector<char> &bytes, quint64 &state)
{
    for (char &byte : bytes) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        byte = char(state >> 56);
    }
}

void writeFile(const QString &path, qint64 size, qint64 dataEvery, qint64 dataLength)
{
    if (QFileInfo(path).size() == size)
        return;
    QDir().mkpath(QFileInfo(path).path());
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0 || ::ftruncate(descriptor, size) != 0)
        qFatal("cannot write %s", qPrintable(path));
    std::vector<char> bytes(static_cast<size_t>(dataLength));
    quint64 state = 0x9e3779b97f4a7c15;
    for (qint64 offset = 0; offset < size; offset += dataEvery) {
        fillRandom(bytes, state);
        if (::pwrite(descriptor, bytes.data(), bytes.size(), offset) != qint64(bytes.size()))
            qFatal("cannot write %s", qPrintable(path));
    }
    ::close(descriptor);
}

struct Outcome
{
    double seconds = 0; // the whole run, or from the OK or the close to the end
    QString statusAtEnding;
};

// One run through a fresh window over the folder, ended after interruptAfterMs when asked to.
Outcome run(SettingsStore &store, const QString &folder, std::optional<Ending> ending)
{
    auto form = std::make_unique<Form1>(store);
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *editor = qobject_cast<Form2 *>(window); editor && !editor->isUnloaded()) {
            FolderList &folders = editor->folderList();
            folders.append(folder);
            folders.tick(folders.count() - 1);
        }
    }
    form->show();
    form->findChild<QComboBox *>(QStringLiteral("com_krit"))->setEditText(QStringLiteral("asm"));
    auto *searchBox = form->findChild<QLineEdit *>(QStringLiteral("txt_textfind"));
    searchBox->setText(QString::fromLatin1(text));

    Outcome outcome;
    QElapsedTimer clock;
    const auto endNow = [&] {
        outcome.statusAtEnding = form->statusText();
        if (*ending == Ending::Close) {
            clock.start();
            form->close();
            return;
        }
        // the stop image opens its message box; OK is pressed as soon as it is up
        QTimer::singleShot(0, [&clock] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            clock.start();
            box->accept();
        });
        form->findChild<QToolButton *>(QStringLiteral("img_stop"))->click();
    };
    if (ending)
        QTimer::singleShot(interruptAfterMs, form.get(), endNow);
    else
        clock.start();

    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(searchBox, &enter);
    // a close lets the run end, then closes the window
    while (ending == Ending::Close && form->isVisible())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    outcome.seconds = double(clock.nsecsElapsed()) / 1e9;
    form.reset();
    return outcome;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("spurwerk"));
    QCoreApplication::setApplicationName(QStringLiteral("spurwerk"));
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        std::fputs("usage: spurwerk-stop-latency FOLDER [ROUNDS]\n", stderr);
        return 2;
    }
    const QString folder = arguments.at(0);
    const int rounds = arguments.size() > 1 ? arguments.at(1).toInt() : 9;
    writeFile(folder + QStringLiteral("/data/big.asm"), 4096 * mebibyte, mebibyte, mebibyte);
    writeFile(folder + QStringLiteral("/extents/big.asm"), 65536 * mebibyte, mebibyte, 4096);

    SettingsStore store;
    for (const char *kind : {"data", "extents"}) {
        const QString files = folder + u'/' + QLatin1String(kind);
        run(store, files, std::nullopt);
        const double whole = run(store, files, std::nullopt).seconds;
        std::printf("%-8s whole run %.2f s\n", kind, whole);
        for (const auto &[ending, name] :
             {std::pair{Ending::Stop, "stop"}, std::pair{Ending::Close, "close"}}) {
            std::vector<double> latencies;
            QString status;
            for (int round = 0; round < rounds; ++round) {
                const Outcome outcome = run(store, files, ending);
                latencies.push_back(outcome.seconds * 1000);
                status = outcome.statusAtEnding;
            }
            std::sort(latencies.begin(), latencies.end());
            std::printf("%-8s %-5s latency median %.2f ms, largest %.2f ms (%d rounds; "
                        "status at the %s: %s)\n",
                        kind, name, latencies[latencies.size() / 2], latencies.back(), rounds, name,
                        qPrintable(status));
        }
    }
    return 0;
}
