#include "widgets/message_box.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <exception>

namespace platform {

void showMessage(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

void runTellingErrors(QWidget *parent, const std::function<void()> &work)
{
    try {
        work();
    } catch (const std::exception &error) {
        showMessage(parent, QString::fromLocal8Bit(error.what()));
    }
}

} // namespace platform
