#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <QWidget>

// Starts every window test from an empty settings store in the isolated settings location.
void removeStoredSettings();

// Accepts every modal message box that opens while it lives and keeps the texts it showed, so a
// test never hangs on a box nobody closes.
class ModalBoxCloser : public QObject
{
    Q_OBJECT

public:
    ModalBoxCloser();
    QStringList texts;

private:
    void closeActiveModal();
    QTimer m_timer;
};

template<typename Control> Control *control(const QWidget *window, const char *name)
{
    return window->findChild<Control *>(QLatin1String(name));
}
