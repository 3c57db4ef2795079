#pragma once

class QString;
class QWidget;

namespace platform {

// A blocking message with an OK button and the application's name as title.
void showMessage(QWidget *parent, const QString &text);

} // namespace platform
