#pragma once

#include <functional>

class QString;
class QWidget;

namespace platform {

// A blocking message with an OK button and the application's name as title.
void showMessage(QWidget *parent, const QString &text);
// Runs a window's work and tells the user of an exception that ends it: none crosses a Qt handler,
// and the window stays usable.
void runTellingErrors(QWidget *parent, const std::function<void()> &work);

} // namespace platform
