#include "widgets/deferred_label_text.h"

#include <QLabel>

namespace platform {

DeferredLabelText::DeferredLabelText(QLabel *label)
    : QObject(label)
    , m_label(label)
{}

void DeferredLabelText::setText(const QString &text)
{
    m_text = text;
    if (m_pending)
        return;
    m_pending = true;
    QMetaObject::invokeMethod(this, &DeferredLabelText::flush, Qt::QueuedConnection);
}

QString DeferredLabelText::text() const
{
    return m_pending ? m_text : m_label->text();
}

void DeferredLabelText::flush()
{
    if (!m_pending)
        return;
    m_pending = false;
    m_label->setText(m_text);
}

} // namespace platform
