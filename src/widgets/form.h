#pragma once

#include <QWidget>

// A window that exists at most once: loaded on first use, discarded when it is unloaded (closed).
// Its unload steps run once, whether it is closed by its own close box or by the program.
class Form : public QWidget
{
    Q_OBJECT

public:
    explicit Form(QWidget *parent = nullptr, Qt::WindowFlags flags = {});

    bool isUnloaded() const { return m_unloaded; }
    // Runs the unload steps and discards the window, also while it is hidden.
    void unload();

protected:
    // Held by a handler that processes pending events (a search run inside a click): the window
    // may be unloaded meanwhile, and is then hidden and unloaded at once, but the object stays
    // until the last such handler has returned.
    class HandlerScope
    {
    public:
        explicit HandlerScope(Form *form);
        ~HandlerScope();
        HandlerScope(const HandlerScope &) = delete;
        HandlerScope &operator=(const HandlerScope &) = delete;

    private:
        Form *m_form;
    };

    virtual void Form_Unload() {}
    void closeEvent(QCloseEvent *event) override;

private:
    bool m_unloaded = false;
    int m_handlersRunning = 0;
};
