#pragma once

#include <QByteArray>
#include <QUrl>

#include <functional>

class QWidget;

namespace platform {

// Hands a document, a web address or a "mailto:" address to the desktop's default application
// and returns at once. The desktop's opener answers later: when it says it has no application
// for the address or could not start one, failed is called from the event loop, unless window
// is gone by then. Whether the application then opened the file is not known.
void openOnDesktop(const QUrl &address, QWidget *window = nullptr,
                   const std::function<void()> &failed = {});

// Opens the file with the desktop's default application; a failure is told in a message naming
// the file.
void openFile(QWidget *window, const QByteArray &path);

// The file address of a path kept as bytes: a name that is not valid UTF-8 keeps its bytes, and a
// relative path is taken from the working folder.
QUrl fileAddress(const QByteArray &path);

// Replaces the desktop's opener, so that tests record what would be opened instead of starting
// programs; it answers whether the desktop took the address. An empty opener puts the desktop's
// back.
void setDesktopOpener(std::function<bool(const QUrl &)> opener);

} // namespace platform
