#include "widgets/form.h"

#include <QCloseEvent>

Form::Form(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void Form::unload()
{
    if (!m_unloaded)
        close();
}

void Form::closeEvent(QCloseEvent *event)
{
    if (!m_unloaded) {
        m_unloaded = true;
        Form_Unload();
    }
    // Events processed inside a running handler would delete the window under it.
    if (m_handlersRunning > 0)
        setAttribute(Qt::WA_DeleteOnClose, false);
    event->accept();
}

Form::HandlerScope::HandlerScope(Form *form)
    : m_form(form)
{
    ++m_form->m_handlersRunning;
}

Form::HandlerScope::~HandlerScope()
{
    if (--m_form->m_handlersRunning == 0 && m_form->m_unloaded)
        m_form->deleteLater();
}
