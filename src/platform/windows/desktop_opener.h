#pragma once

#include <QByteArray>
#include <QUrl>

#include <functional>

namespace platform {

// Hands a document, a web address or a "mailto:" address to the desktop's default application
// and returns at once. Whether anything took it is not known: the desktop's opener answers before
// the application starts, and nobody looks at the answer.
void openOnDesktop(const QUrl &address);

// The file address of a path kept as bytes: a name that is not valid UTF-8 keeps its bytes, and a
// relative path is taken from the working folder.
QUrl fileAddress(const QByteArray &path);

// Replaces the desktop's opener, so that tests record what would be opened instead of starting
// programs; an empty opener puts the desktop's back.
void setDesktopOpener(std::function<void(const QUrl &)> opener);

} // namespace platform
