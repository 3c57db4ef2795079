#include "platform/windows/message_box.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace platform {

void showMessage(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

} // namespace platform
