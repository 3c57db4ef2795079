#pragma once

#include <QObject>
#include <QString>

class QLabel;

namespace platform {

// Holds the newest text for a label that a loop changes thousands of times a second and hands it
// over when the event loop next runs. The label is laid out and painted once per pass instead of
// once per change, and whoever looks at it from the event loop sees the newest text.
class DeferredLabelText : public QObject
{
public:
    explicit DeferredLabelText(QLabel *label);

    void setText(const QString &text);
    // The newest text, handed over or not.
    QString text() const;
    // Hands a pending text over now, so that a text set directly afterwards stays.
    void flush();

private:
    QLabel *m_label;
    QString m_text;
    bool m_pending = false;
};

} // namespace platform
