#pragma once

#include "widgets/form.h"

#include <QPointer>

#include <utility>

// Holds the one instance of a window class: load() creates it on first use (or after it was
// unloaded), so every use after an unload meets a freshly loaded window.
template<typename Window> class WindowSlot
{
public:
    template<typename... Args> Window *load(Args &&...args)
    {
        if (!isLoaded())
            m_window = new Window(std::forward<Args>(args)...);
        return m_window;
    }

    bool isLoaded() const { return m_window && !m_window->isUnloaded(); }
    Window *loaded() const { return isLoaded() ? m_window.data() : nullptr; }

    void unload()
    {
        if (isLoaded())
            m_window->unload();
    }

private:
    QPointer<Window> m_window;
};
