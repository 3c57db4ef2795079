#include "platform/windows/form.h"

#include <QCloseEvent>

Form::Form(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void Form::unload()
{
    close();
}

void Form::closeEvent(QCloseEvent *event)
{
    if (!m_unloaded) {
        m_unloaded = true;
        Form_Unload();
    }
    event->accept();
}
