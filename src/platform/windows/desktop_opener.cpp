#include "platform/windows/desktop_opener.h"

#include "platform/working_folder.h"

#include <QDesktopServices>

#include <utility>

namespace platform {

namespace {

std::function<void(const QUrl &)> &replacedOpener()
{
    static std::function<void(const QUrl &)> opener;
    return opener;
}

} // namespace

void openOnDesktop(const QUrl &address)
{
    if (const auto &opener = replacedOpener())
        opener(address);
    else
        QDesktopServices::openUrl(address);
}

QUrl fileAddress(const QByteArray &path)
{
    const QByteArray absolute = path.startsWith('/') ? path : workingFolder() + '/' + path;
    // QUrl::fromLocalFile would take a QString, which cannot carry a name that is not UTF-8.
    return QUrl::fromEncoded("file://" + absolute.toPercentEncoding("/"), QUrl::StrictMode);
}

void setDesktopOpener(std::function<void(const QUrl &)> opener)
{
    replacedOpener() = std::move(opener);
}

} // namespace platform
