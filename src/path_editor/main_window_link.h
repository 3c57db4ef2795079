#pragma once

#include <QString>

// What the editor window reads of the main window.
class MainWindowLink
{
public:
    virtual QString statusText() const = 0;

protected:
    ~MainWindowLink() = default;
};
