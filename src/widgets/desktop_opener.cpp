#include "widgets/desktop_opener.h"

#include "platform/display_text.h"
#include "platform/working_folder.h"
#include "widgets/message_box.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace platform {

namespace {

std::function<bool(const QUrl &)> &replacedOpener()
{
    static std::function<bool(const QUrl &)> opener;
    return opener;
}

// xdg-open answers with its exit status whether the desktop had an application and started it;
// QDesktopServices answers true as soon as xdg-open has started.
void startDesktopOpener(const QUrl &address, const std::function<void()> &failed)
{
    auto *opener = new QProcess(QCoreApplication::instance());
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, failed](int exitCode, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || exitCode != 0)
                             failed();
                         opener->deleteLater();
                     });
    QObject::connect(opener, &QProcess::errorOccurred, opener,
                     [opener, address, failed](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         if (!QDesktopServices::openUrl(address))
                             failed();
                         opener->deleteLater();
                     });
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    opener->start(QStringLiteral("xdg-open"), {address.toString(QUrl::FullyEncoded)});
}

} // namespace

void openOnDesktop(const QUrl &address, QWidget *window, const std::function<void()> &failed)
{
    const QPointer<QWidget> stillThere(window);
    auto toldIfFailed = [stillThere, window, failed] {
        if (failed && (!window || stillThere))
            failed();
    };
    if (const auto &opener = replacedOpener()) {
        if (!opener(address))
            QTimer::singleShot(0, QCoreApplication::instance(), toldIfFailed);
        return;
    }
    // nobody to tell: as the desktop's services open it
    if (!failed)
        QDesktopServices::openUrl(address);
    else
        startDesktopOpener(address, toldIfFailed);
}

void openFile(QWidget *window, const QByteArray &path)
{
    openOnDesktop(fileAddress(path), window, [window, path] {
        showMessage(window, QStringLiteral("„%1“ konnte nicht geöffnet werden: der Desktop hat "
                                           "kein Programm dafür, oder es ließ sich nicht "
                                           "starten.")
                                .arg(displayText(path)));
    });
}

QUrl fileAddress(const QByteArray &path)
{
    const QByteArray absolute = path.startsWith('/') ? path : workingFolder() + '/' + path;
    // QUrl::fromLocalFile would take a QString, which cannot carry a name that is not UTF-8.
    return QUrl::fromEncoded("file://" + absolute.toPercentEncoding("/"), QUrl::StrictMode);
}

void setDesktopOpener(std::function<bool(const QUrl &)> opener)
{
    replacedOpener() = std::move(opener);
}

} // namespace platform
